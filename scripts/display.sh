# Sourced: makes sure an X display exists for Wine's windows. Starts Xvfb on a
# free display number when DISPLAY is unset, and stops it when the shell exits.
# Two tests started together may pick the same number: the one whose Xvfb
# did not get it (it exits at once) goes on to the next.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 91 130); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    DV_XVFB_PID=$!
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; kill -0 $DV_XVFB_PID 2>/dev/null || break; sleep 0.1; done
    sleep 0.2
    kill -0 $DV_XVFB_PID 2>/dev/null || continue
    export DISPLAY=:$n
    trap 'kill $DV_XVFB_PID 2>/dev/null' EXIT
    break
  done
fi
