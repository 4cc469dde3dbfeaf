#!/usr/bin/env bash
# Runs one flow of the Double Commander suite:  run-dc-test.sh FLOW
# Environment (set by CMake): KH_DC_PLUGIN (the built keyhold.wfx),
# KH_DC_STORE_TOOL, KH_DC_TYPING_WINDOW, KH_DC_OUTPUT (the build folder of
# the suite: screenshots/, console/ and DC's first-run configuration go there).
# KEEP_WORK=1 keeps the temporary folder of the run.
# Any command that fails ends the flow (a helper that fails inside $(...) too).
set -eEuo pipefail
flow=${1:?flow}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/dc/dc-lib.sh
source "$here/dc-lib.sh"

for tool in doublecmd Xvfb xdotool openbox import xprop nm; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed (Debian: doublecmd-gtk xvfb xdotool openbox imagemagick x11-utils binutils)"
done
: "${KH_DC_PLUGIN:?}" "${KH_DC_STORE_TOOL:?}" "${KH_DC_TYPING_WINDOW:?}" "${KH_DC_OUTPUT:?}"

SHOTS="$KH_DC_OUTPUT/screenshots"
DC_TEMPLATE_DIR="$KH_DC_OUTPUT/dc-first-run"
mkdir -p "$SHOTS" "$KH_DC_OUTPUT/console"
rm -f "$SHOTS/$flow"-*.png
DC_OUT="$KH_DC_OUTPUT/console/$flow.txt"
: >"$DC_OUT"
WORK=$(mktemp -d /tmp/keyhold-dc.XXXXXX)
trap dc_cleanup EXIT
trap 'log "FAIL: stopped by a signal (or the time limit)"; exit 1' INT TERM
trap 'log "FAIL: status $? from: $BASH_COMMAND (${BASH_SOURCE[0]##*/}:$LINENO)"' ERR
# A watchdog ends the flow before ctest would kill it, so that the cleanup
# still runs.
# It holds none of the test's output pipes, so that ctest does not wait for it.
(
  trap 'kill "$s" 2>/dev/null; exit 0' TERM
  sleep "${DC_FLOW_LIMIT:-200}" &
  s=$!
  wait "$s"
  kill -TERM $$
) </dev/null >/dev/null 2>&1 &
DC_PIDS+=("$!")

# The plug-in runs from a folder of its own, so that its settings, store and
# log are this run's alone.
PLUGDIR="$WORK/plugin"
mkdir -p "$PLUGDIR"
cp "$KH_DC_PLUGIN" "$PLUGDIR/keyhold.wfx"
STORE="$PLUGDIR/database.xml"
LOGDIR="$PLUGDIR/Keyhold"
write_settings() {
  cat >"$PLUGDIR/keyHold.ini" <<INI
[MAIN]
DebugLogging=1
[AUTOLOCK]
Autolock=${1:-0}
INI
}
write_settings 0

# What the plug-in under test offers.
has_extension_api() { nm -D --defined-only "$PLUGDIR/keyhold.wfx" | grep -qw ExtensionInitialize; }
# The X11 hot key: the plug-in calls XGrabKey or xcb_grab_key, linked or
# looked up by name.
has_x11_hotkey() { grep -aqE 'xcb_grab_key|XGrabKey' "$PLUGDIR/keyhold.wfx"; }

n_shot=0
step_shot() { n_shot=$((n_shot + 1)); shot "$(printf '%s-%02d-%s' "$flow" "$n_shot" "$1")"; }

store_dump() { "$KH_DC_STORE_TOOL" dump "$STORE" "$1"; }
store_make() { "$KH_DC_STORE_TOOL" make "$STORE" "$@" || fail "could not make the store"; }
file_sum() { if [ -f "$1" ]; then cksum <"$1"; else echo none; fi; }

# Waits until the store's dump under MASTER shows (grep -E) or, with -v, no
# longer shows a line.
wait_store() {
  local master=$1 want=$2 neg=""
  [ "${3:-}" = -v ] && neg="!"
  wait_until "$DC_WAIT" "store ${neg:+without }/$want/" \
    sh -c "$neg \"$KH_DC_STORE_TOOL\" dump \"$STORE\" '$master' 2>/dev/null | grep -Eq -- '$want'"
}

# Fails when any of the given secrets appears in DC's console output.
console_clean() {
  local s leaked=()
  for s in "$@"; do
    grep -qF -- "$s" "$DC_OUT" && leaked+=("$s")
  done
  [ ${#leaked[@]} -eq 0 ]
}

source "$here/dc-flows.sh"
# DC_EXTRA_FLOWS=FILE adds flows of one's own while trying things out.
[ -z "${DC_EXTRA_FLOWS:-}" ] || source "$DC_EXTRA_FLOWS"
case "$flow" in
  FirstRunConfiguration) start_display; dc_template ;;
  *)
    declare -F "flow_$flow" >/dev/null || fail "no flow $flow"
    start_display
    "flow_$flow"
    ;;
esac
log "PASSED: $flow"
