#!/usr/bin/env bash
# Runs the ending host in a fresh plug-in folder under a watchdog:
#   run-ending-host.sh MODE HOST PLUGIN HOTKEY [WINE]
#
# The folder holds a copy of the plug-in, a store and settings that open it
# with a development password, turn on the automatic lock (its countdown then
# runs at the end), the diagnostic log (its cleaner thread) and the hot key
# HOTKEY (its thread, on Windows; each test takes a key of its own, since
# tests running side by side under one wine server share the hot keys).
#
# Fails when the host has not ended after two minutes (the plug-in keeps the
# process from ending), when its exit code is not the one of its way of
# ending (a crash, or the plug-in ending the process itself), when the store
# was not listed, when the plug-in had no threads of its own running, or when
# the settings were not written back on the way out.
set -uo pipefail

if [ $# -lt 4 ] || [ $# -gt 5 ]; then
  echo "usage: $0 MODE HOST PLUGIN HOTKEY [WINE]" >&2
  exit 2
fi
mode=$1 host=$2 plugin=$3 hotkey=$4 wine=${5:-}
case "$mode" in
  return) expected=11 ;;
  exit-thread) expected=12 ;;
  free) expected=13 ;;
  unload) expected=14 ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac

dir=$(mktemp -d "${TMPDIR:-/tmp}/keyhold-ending.XXXXXX") || exit 2
trap 'rm -rf "$dir"' EXIT
name=$(basename "$plugin")
cp "$plugin" "$dir/$name" || exit 2

password='Ending#4711-Wombat'
masterkey=$(printf '%s' "$password" | sha1sum | cut -c1-40 | tr 'a-f' 'A-F')
cat >"$dir/keyHold.ini" <<INI
[MAIN]
datafile=database.xml
DebugLogging=1
HotKey=$hotkey
[AUTOLOCK]
Autolock=1
TimeOutLock=30
[DEVELOPMENT]
MasterPassword=$password
INI
cat >"$dir/database.xml" <<XML
<?xml version="1.0" ?>
<pswd basename="My Passwords" id="1" masterkey="$masterkey">
    <folder name="Email" id="2" creationtime="1796869124" />
    <folder name="Homebanking" id="3" creationtime="1796869124" />
</pswd>
XML

if [ -n "$wine" ]; then
  target="Z:$dir/$name"
  run=("$wine" "$host" "$mode" "$target")
else
  run=("$host" "$mode" "$dir/$name")
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

start=$(date +%s)
# A hang is for good; the bound only has to be well above a slow start under
# wine on a busy machine (half a minute has been seen).
timeout -k 10 120 "${run[@]}" </dev/null >"$dir/out" 2>"$dir/err"
rc=$?
took=$(( $(date +%s) - start ))
# Windows programs end their lines with CR LF.
tr -d '\r' <"$dir/out" >"$dir/out.txt" && mv "$dir/out.txt" "$dir/out"
echo "--- ${run[*]} (exit code $rc after ${took}s)"
cat "$dir/out"
sed 's/^/stderr: /' "$dir/err" | tail -20

if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
  fail "the process did not end within 120 s: it hangs after the host ended it ($mode)"
elif [ "$rc" -ne "$expected" ]; then
  fail "exit code $rc, expected $expected"
fi
listed=$(sed -n 's/^listed: //p' "$dir/out")
case "|$listed|" in
  *'|Email|'*) ;;
  *) fail "the store was not listed (got: '$listed')" ;;
esac
threads=$(sed -n 's/^threads of the plug-in: //p' "$dir/out")
if ! [ "${threads:-0}" -ge 2 ] 2>/dev/null; then
  fail "the plug-in had ${threads:-no} threads of its own running; expected the autolock and log threads at least"
fi
# Freed after FsContentPluginUnloading, the library goes. Freed without it,
# it goes on Linux (its destructors end its threads first); on Windows it
# stays until the process ends, held by its own running threads, since no
# thread can be waited for while the system unloads a library.
mapped=no
[ "$mode" = free ] && [ -n "$wine" ] && mapped=yes
if [ "$mode" = free ] || [ "$mode" = unload ]; then
  grep -q "^library mapped after free: $mapped\$" "$dir/out" || fail "after the free, the library should be mapped: $mapped"
fi
# The plug-in writes its settings back when it goes, in a layout of its own
# ("key = value"; the file above has "key=value").
grep -q '^datafile = database.xml' "$dir/keyHold.ini" || fail "the settings were not written back"

[ "$failures" -eq 0 ] && echo "ok: $mode ended with $rc in ${took}s"
[ "$failures" -eq 0 ]
