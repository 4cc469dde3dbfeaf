#!/usr/bin/env bash
# The plug-in installed where its user cannot write, as a system-wide install
# puts it: loaded by the terminal host, it keeps its settings, its store and its
# log in ~/.config/keyhold ($XDG_CONFIG_HOME), made for the user alone, and
# writes nothing beside itself.
#
#   installed-test.sh readonly SOURCE_DIR PLUGIN PANEL VERSION
#       the plug-in copied into a folder of its own that cannot be written
#   installed-test.sh deb SOURCE_DIR PLUGIN PANEL VERSION
#       the .deb built by scripts/make-deb.sh, unpacked with dpkg -x; its
#       Depends must name the package of every library the plug-in links
#       against
#
# Run as root (as in CI), where no permission bit stops a write, the host runs
# as the user "nobody" (setpriv); run as anyone else, the folder is made
# read-only.
set -euo pipefail
[ "$#" -eq 5 ] || { echo "usage: $0 readonly|deb SOURCE_DIR PLUGIN PANEL VERSION" >&2; exit 2; }
mode=$1 src=$2 plugin=$3 panel=$4 version=$5

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/keyhold-installed.XXXXXX")
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
chmod 0755 "$work"

case $mode in
  readonly)
    folder=$work/plugin
    mkdir "$folder"
    cp "$plugin" "$folder/keyhold.wfx"
    ;;
  deb)
    deb=$(bash "$src/scripts/make-deb.sh" "$work/out" "$plugin" "$version")
    [ -f "$deb" ] || fail "no package made"
    info=$(dpkg-deb -f "$deb" Package Version Architecture Depends)
    echo "$info"
    grep -qx "Version: $version" <<<"$info" || fail "wrong version"
    depends=$(dpkg-deb -f "$deb" Depends)
    # Every library the plug-in needs comes from a package it depends on.
    while read -r lib; do
      # "name => path (address)", or "path (address)" for the dynamic loader
      # (needed for the thread-local variables' __tls_get_addr).
      path=$(ldd "$plugin" | awk -v l="$lib" '$1 == l && $2 == "=>" { print $3; exit }
                                             { n = split($1, p, "/") } n > 1 && p[n] == l { print $1; exit }')
      [ -n "$path" ] || fail "cannot find $lib"
      pkg=""
      real=$(readlink -f "$path")
      for p in "$path" "$real" "${path#/usr}" "${real#/usr}" "/usr$path"; do
        pkg=$(dpkg -S "$p" 2>/dev/null | head -n1 | cut -d: -f1) || true
        [ -n "$pkg" ] && break
      done
      [ -n "$pkg" ] || fail "no package holds $path"
      # Depends: "name (>= version), name, ..." (alternatives with "|")
      awk -v want="$pkg" 'BEGIN { RS = "[,|]" } { sub(/^[ \n]+/, ""); split($0, w, /[ :(]/); if (w[1] == want) found = 1 }
                          END { exit !found }' <<<"$depends" || fail "Depends lacks $pkg (for $lib): $depends"
    done < <(readelf -d "$plugin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    root=$work/root
    dpkg -x "$deb" "$root"
    folder=$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/keyhold
    [ -f "$folder/keyhold.wfx" ] || fail "the plug-in is not at $folder/keyhold.wfx"
    [ "$(stat -c %a "$folder/keyhold.wfx")" = 644 ] || fail "the plug-in's mode is $(stat -c %a "$folder/keyhold.wfx")"
    ;;
  *) fail "unknown mode $mode" ;;
esac

cp "$panel" "$work/keyhold-panel"
home=$work/home
mkdir -p "$home"
run=()
if [ "$(id -u)" = 0 ]; then
  # nobody owns its home; the plug-in's folder stays root's.
  chown -R nobody: "$home"
  chmod -R a+rX "$folder"
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
  chmod -R a-w "$folder"
fi
if "${run[@]}" touch "$folder/probe" 2>/dev/null; then fail "the plug-in's folder can be written"; fi

panel_run() {
  "${run[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" \
    "$work/keyhold-panel" "$folder/keyhold.wfx" >"$work/transcript" 2>&1 || {
      cat "$work/transcript"; fail "the host failed"; }
}

# First start: a new store, made with the master password typed twice.
printf 'ls\n> secret pw\n> secret pw\nquit\n' | panel_run
grep -q "Lock Keyhold" "$work/transcript" || { cat "$work/transcript"; fail "the store was not listed"; }
own=$home/config/keyhold
[ -d "$own" ] || fail "no folder $own"
[ "$(stat -c %a "$own")" = 700 ] || fail "$own has mode $(stat -c %a "$own"), not 700"
[ -f "$own/keyHold.ini" ] || fail "no settings file in $own"
grep -qi "^datafile *= *$own/database.xml$" "$own/keyHold.ini" || { cat "$own/keyHold.ini"; fail "datafile is not the full path"; }
[ -s "$own/database.xml" ] || fail "no store in $own"
grep -q 'masterkey=' "$own/database.xml" || fail "the store has no master key"
extra=$(find "$folder" -mindepth 1 ! -name keyhold.wfx)
[ -z "$extra" ] || fail "written beside the plug-in: $extra"

# Second start, with the log on: it goes into the same folder.
printf '[MAIN]\nDebugLogging=1\n' >>"$own/keyHold.ini"
printf 'ls\n> secret pw\nquit\n' | panel_run
grep -q "Lock Keyhold" "$work/transcript" || { cat "$work/transcript"; fail "the store was not opened again"; }
ls "$own"/Keyhold/Keyhold_*.log >/dev/null 2>&1 || { ls -la "$own"; fail "no log in $own/Keyhold"; }
grep -q "settings, store and log are kept in $own" "$own"/Keyhold/Keyhold_*.log || fail "the log does not say where"
echo "ok: $mode"
