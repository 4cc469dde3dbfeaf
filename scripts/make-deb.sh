#!/usr/bin/env bash
# Builds the Debian package of the Linux plug-in:
#
#   scripts/make-deb.sh OUT_DIR PLUGIN VERSION
#
# PLUGIN is the built keyhold.wfx. The package installs it as
# /usr/lib/<multiarch>/keyhold/keyhold.wfx and depends on the packages of the
# shared libraries it links against, as dpkg-shlibdeps finds them (so a
# library added to the link shows up in Depends by itself). Prints the path of
# the .deb it made (OUT_DIR/keyhold_VERSION_ARCH.deb).
set -euo pipefail

usage() {
    echo "usage: $0 OUT_DIR PLUGIN VERSION" >&2
    exit 2
}
[ "$#" -eq 3 ] || usage
out=$1
plugin=$2
version=$3

here=$(cd "$(dirname "$0")" && pwd)
[ -s "$plugin" ] || { echo "$0: missing or empty plug-in: $plugin" >&2; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps dpkg-architecture; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$0: $tool is required (Debian package dpkg-dev)" >&2; exit 1; }
done

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/keyhold-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
stage=$work/stage
libdir=usr/lib/$multiarch/keyhold
install -d -m 0755 "$stage/$libdir" "$stage/usr/share/doc/keyhold" "$stage/DEBIAN"
install -m 0644 "$plugin" "$stage/$libdir/keyhold.wfx"
install -m 0644 "$here/../README.md" "$stage/usr/share/doc/keyhold/README.md"

# dpkg-shlibdeps wants a source package's control file in the folder it runs in.
mkdir -p "$work/src/debian"
printf 'Source: keyhold\n\nPackage: keyhold\nArchitecture: any\n' >"$work/src/debian/control"
depends=$(cd "$work/src" && dpkg-shlibdeps -O "$stage/$libdir/keyhold.wfx" 2>"$work/shlibdeps.err" \
          | sed -n 's/^shlibs:Depends=//p') || {
    cat "$work/shlibdeps.err" >&2
    echo "$0: dpkg-shlibdeps could not work out the dependencies" >&2
    exit 1
}
[ -n "$depends" ] || { echo "$0: no dependencies found for $plugin" >&2; exit 1; }

size=$(du -k -s "$stage/usr" | cut -f1)
cat >"$stage/DEBIAN/control" <<CONTROL
Package: keyhold
Version: $version
Architecture: $arch
Maintainer: Keyhold developers <keyhold@localhost>
Installed-Size: $size
Depends: $depends
Section: utils
Priority: optional
Description: password manager plug-in for two-panel file managers
 Keyhold is a WFX file-system plug-in: the file manager (Double Commander,
 for example) shows the password store as a drive, with folders of entries,
 and a global hot key types an entry's user name and password into the
 window in front.
 .
 The plug-in is /usr/lib/$multiarch/keyhold/keyhold.wfx. Each user keeps
 settings, store and log in ~/.config/keyhold (or the file manager's own
 configuration folder).
CONTROL

deb=$out/keyhold_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
