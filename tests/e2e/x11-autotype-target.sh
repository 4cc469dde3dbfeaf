#!/usr/bin/env bash
# The other program of the auto-type tests on the Linux desktop, as
# autotype-target.exe is under wine: opens the recorder's window with the given
# title, gives it the input focus, presses the hot key Ctrl+Shift+Q there as a
# user would (xdotool, through XTest) and prints what arrived once nothing more
# comes (or when the time is up):
#   x11-autotype-target.sh RECORDER TITLE SECONDS
# prints   typed: TEXT   with keys that give no character named as the
# recorder writes them (<Tab>, <Return>).
set -u
[ "$#" -eq 3 ] || { echo "usage: $0 RECORDER TITLE SECONDS" >&2; exit 2; }
recorder=$1 title=$2 seconds=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/kh-autotype-target.XXXXXX")
pid=""
finish() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
: >"$work/typed"
"$recorder" "$title" "$work/typed" &
pid=$!
window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --classname '^keyhold-recorder$' 2>/dev/null | head -n1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no recorder window"; exit 1; }
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 0.2
xdotool key ctrl+shift+q
# Done once something arrived and nothing more came for a second and a half.
deadline=$((SECONDS + seconds)) last="" still=0
while [ "$SECONDS" -lt "$deadline" ]; do
  sleep 0.5
  now=$(cat "$work/typed")
  if [ -n "$now" ] && [ "$now" = "$last" ]; then
    still=$((still + 1))
    [ "$still" -ge 3 ] && break
  else
    still=0
  fi
  last=$now
done
printf 'typed: %s\n' "$(cat "$work/typed")"
