#!/bin/bash
# Runs the X11 desktop tests on an Xvfb of their own, with the window manager
# named (openbox, or none). Exit 77 (skipped) when a program it needs is
# missing. Usage: run-x11-tests.sh openbox|none TEST-BINARY [gtest args]
set -u
wm=$1
shift
for tool in Xvfb xdotool setxkbmap; do
  command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
if [ "$wm" = openbox ] && ! command -v openbox >/dev/null; then
  echo "no openbox: skipped"
  exit 77
fi

work=$(mktemp -d /tmp/kh-x11-run-XXXXXX)
xvfb_pid=""
wm_pid=""
finish() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# Xvfb picks a free display and writes its number to the descriptor given.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb gave no display"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY
export KH_X11_WM=$wm

if [ "$wm" = openbox ]; then
  HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
  wm_pid=$!
  # The tests wait for it to announce _NET_ACTIVE_WINDOW on the root window.
fi

"$@"
