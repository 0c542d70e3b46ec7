# Sourced: makes sure an X display exists for Wine's windows. Starts Xvfb on a
# free display number when DISPLAY is unset, and stops it when the shell exits.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 120); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    DV_XVFB_PID=$!
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    export DISPLAY=:$n
    trap 'kill $DV_XVFB_PID 2>/dev/null' EXIT
    break
  done
fi
