# Sourced by the scripts that need an X display for Wine's windows.
# start_private_display: when DISPLAY is unset, starts an Xvfb on the first
# free display number, exports DISPLAY and sets xvfb_pid (empty otherwise).
xvfb_pid=
start_private_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 140); do
    { [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; } && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    return 0
  done
  echo "no free X display number" >&2
  return 1
}
