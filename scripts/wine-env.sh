# Sourced by every script that runs Wine: the settings all its runs share.
# No debug channels; no Mono or Gecko installer questions.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
