# Sourced by every script that runs Wine: the settings all its runs share.
# No debug channels; no Mono or Gecko installer questions; no menu builder:
# Wine starts one for every link file saved, which opens the file in a
# process of its own while the updater flushes and moves it (a sharing
# violation now and then), and mirrors the Start menu on the host.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
