#!/usr/bin/env bash
# Keyhold beside KeePassXC, whole processes, on the same entries: opening the
# store and listing every folder (keepassxc-cli ls -R), and opening it, making
# one change and saving it (keepassxc-cli edit), with the peak memory of each.
# The two programs take turns, run after run; the medians and their ratios
# are printed. A benchmark, not a test: the test command does not run it.
#
#   scripts/compare-keepassxc.sh [ENTRIES] [RUNS]      (default 10000 and 7)
#
# With KEYHOLD_BEFORE set to another Linux build folder (one holding
# host/keyhold-panel and src/keyhold.wfx, say of an earlier commit), that
# build's plug-in takes its turn in every run too, on its own copy of the same
# store, and is printed beside the others: before and after in one run.
#
# Installs keepassxc (for keepassxc-cli only) and GNU time from Debian when
# they are missing, and builds the Linux plug-in and terminal host into
# build/linux when they are not there. The KeePassXC database is made by
# keepassxc-cli import from the same entries as KeePass 2 XML, its key
# derivation set to take about 100 ms (-t 100).
set -euo pipefail
entries=${1:-10000}
runs=${2:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/linux
password=compare

need=()
command -v keepassxc-cli >/dev/null || need+=(keepassxc)
[ -x /usr/bin/time ] || need+=(time)
if [ "${#need[@]}" -gt 0 ]; then
  sudo=(); [ "$(id -u)" = 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"
fi
if [ ! -x "$build/host/keyhold-panel" ] || [ ! -f "$build/src/keyhold.wfx" ] || [ ! -x "$build/tests/bench/keyhold_make_stores" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target keyhold keyhold-panel keyhold_make_stores
fi

before=${KEYHOLD_BEFORE:-}
if [ -n "$before" ] && { [ ! -x "$before/host/keyhold-panel" ] || [ ! -f "$before/src/keyhold.wfx" ]; }; then
  echo "KEYHOLD_BEFORE=$before holds no host/keyhold-panel and src/keyhold.wfx"
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/keyhold-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/keyhold"
cp "$build/src/keyhold.wfx" "$work/keyhold/keyhold.wfx"
store=$work/keyhold/database.xml
printf '[MAIN]\ndatafile=%s\n' "$store" >"$work/keyhold/keyHold.ini"
"$build/tests/bench/keyhold_make_stores" "$entries" "$password" "$store" "$work/entries.xml"
if [ -n "$before" ]; then
  mkdir "$work/before"
  cp "$before/src/keyhold.wfx" "$work/before/keyhold.wfx"
  cp "$store" "$work/before/database.xml"
  printf '[MAIN]\ndatafile=%s\n' "$work/before/database.xml" >"$work/before/keyHold.ini"
fi
kdbx=$work/entries.kdbx
printf '%s\n%s\n' "$password" "$password" | keepassxc-cli import -q -p -t 100 "$work/entries.xml" "$kdbx" \
  >"$work/import.out" 2>&1 || { cat "$work/import.out"; echo "keepassxc-cli import failed"; exit 1; }
rm "$work/entries.xml"
echo "$entries entries in 100 folders: store $(du -k "$store" | cut -f1) KiB, KeePassXC database $(du -k "$kdbx" | cut -f1) KiB"

# The terminal host's scripts: the password answered, every folder listed.
{
  echo ls
  echo "> $password"
  for f in $(seq 0 99); do echo "ls \"\\Folder $f\""; done
  echo quit
} >"$work/list.script"

# One change: an entry renamed, back and forth from run to run.
first="Account 0-0 at example"
renamed="Account 0-0 renamed"
keyhold_change() {  # FROM TO
  printf 'ls\n> %s\nmv "\\Folder 0\\%s" "\\Folder 0\\%s"\nquit\n' "$password" "$1" "$2" >"$work/change.script"
}

# Runs a command and appends "seconds kilobytes" to a file; the command's
# output goes to a file of its own, checked by the caller.
measure() {  # RESULTS OUTPUT COMMAND...
  local results=$1 output=$2
  shift 2
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$output" 2>&1
  cat "$work/time" >>"$results"
}

: >"$work/k-list"; : >"$work/x-list"; : >"$work/k-edit"; : >"$work/x-edit"; : >"$work/b-list"; : >"$work/b-edit"
panel=$build/host/keyhold-panel
# One build's turn: list every folder, then one change and its save.
keyhold_turn() {  # PANEL PLUGIN LIST-RESULTS EDIT-RESULTS
  measure "$3" "$work/out" "$1" "$2" "$work/list.script"
  [ "$(grep -c 'Account' "$work/out")" -ge "$entries" ] || { tail -5 "$work/out"; echo "Keyhold listed too little"; exit 1; }
  measure "$4" "$work/out" "$1" "$2" "$work/change.script"
  grep -q "^unloaded" "$work/out" && ! grep -qi "cannot\|error\|failed" "$work/out" || { cat "$work/out"; echo "Keyhold's change failed"; exit 1; }
}
for run in $(seq 1 "$runs"); do
  if [ $((run % 2)) = 1 ]; then from=$first to=$renamed; else from=$renamed to=$first; fi
  keyhold_change "$from" "$to"
  keyhold_turn "$panel" "$work/keyhold/keyhold.wfx" "$work/k-list" "$work/k-edit"
  [ -z "$before" ] || keyhold_turn "$before/host/keyhold-panel" "$work/before/keyhold.wfx" "$work/b-list" "$work/b-edit"
  measure "$work/x-list" "$work/out" sh -c "echo '$password' | keepassxc-cli ls -R -q '$kdbx'"
  [ "$(grep -c 'Account' "$work/out")" -ge "$entries" ] || { tail -5 "$work/out"; echo "KeePassXC listed too little"; exit 1; }
  measure "$work/x-edit" "$work/out" sh -c "echo '$password' | keepassxc-cli edit -q -t '$to' '$kdbx' '/Folder 0/$from'"
  grep -qi "error\|fail" "$work/out" && { cat "$work/out"; echo "KeePassXC's change failed"; exit 1; }
  echo "run $run of $runs done"
done

median() {  # FILE COLUMN
  cut -d' ' -f"$2" "$1" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
report() {  # WHAT KEYHOLD-FILE KEEPASSXC-FILE
  local kt xt km xm
  kt=$(median "$2" 1) xt=$(median "$3" 1) km=$(median "$2" 2) xm=$(median "$3" 2)
  awk -v w="$1" -v kt="$kt" -v xt="$xt" -v km="$km" -v xm="$xm" 'BEGIN {
    printf "%-28s Keyhold %6.3f s %6.1f MiB   keepassxc-cli %6.3f s %6.1f MiB   time %.2f  memory %.2f\n",
           w, kt, km / 1024, xt, xm / 1024, kt / xt, km / xm }'
}
echo
echo "medians of $runs runs (whole processes; ratios Keyhold / keepassxc-cli):"
report "open, list every folder" "$work/k-list" "$work/x-list"
report "open, one change, save" "$work/k-edit" "$work/x-edit"
if [ -n "$before" ]; then
  echo "the build in $before, in the same runs:"
  report "open, list every folder" "$work/b-list" "$work/x-list"
  report "open, one change, save" "$work/b-edit" "$work/x-edit"
fi
