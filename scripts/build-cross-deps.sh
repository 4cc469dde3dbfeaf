#!/usr/bin/env bash
# Builds the Windows dependencies of Keyhold for one architecture:
#   build-cross-deps.sh i686|x86_64
#
# Crypto++ and TinyXML are built as static libraries with the posix-thread
# mingw-w64 compiler, from Debian's source packages, so the Windows plug-in uses
# the same versions (and Debian's patches) as the native build. SimpleIni and
# Boost are header-only and are linked in from the host. The result is the
# prefix cmake/Dependencies.cmake expects (pass it as KEYHOLD_DEPS_PREFIX):
#   $KEYHOLD_CACHE/deps/ARCH/include/cryptopp/*.h     lib/libcryptopp.a
#   $KEYHOLD_CACHE/deps/ARCH/include/tinyxml.h        lib/libtinyxml.a
#   $KEYHOLD_CACHE/deps/ARCH/headeronly/SimpleIni.h   headeronly/boost -> /usr/include/boost
# KEYHOLD_CACHE defaults to ~/.cache/keyhold, outside the clone, so a later
# run finds the prefix and does nothing. A stamp in the prefix records the
# source versions, the compiler and the build flags; the prefix is rebuilt when
# any of them changes. The prefix is assembled in ARCH.tmp and moved into place
# only once it has passed scripts/check-cross-deps.sh, so an interrupted run
# never leaves a prefix that looks complete; its build tree is kept, and the
# next run carries on from it.
#
# Needs the packages of "scripts/setup-system.sh all" (cross compilers, wine,
# dpkg-dev, deb-src entries) and network access to Debian's archive on the
# first run, to fetch the source packages.
set -euo pipefail

arch=${1:-}
case "$arch" in
  i686|x86_64) ;;
  *) echo "usage: $0 i686|x86_64" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
: "${KEYHOLD_CACHE:=$HOME/.cache/keyhold}"
export KEYHOLD_CACHE
jobs=${KEYHOLD_JOBS:-2}

triple=$arch-w64-mingw32
CXX=$triple-g++-posix
AR=$triple-ar
RANLIB=$triple-ranlib
deb_arch=${arch//_/-}                      # g++-mingw-w64-x86-64-posix
for tool in "$CXX" "$AR" "$RANLIB"; do
  command -v "$tool" >/dev/null || { echo "$tool not found: run scripts/setup-system.sh all" >&2; exit 1; }
done

# Crypto++ keeps its assembly and SSE/AES-NI/SHA-NI code: it builds with
# mingw-w64 and is chosen at run time by CPU detection.
CRYPTOPP_CXXFLAGS="-DNDEBUG -O2"
TINYXML_CXXFLAGS="-DNDEBUG -O2 -DTIXML_USE_STL"
# Bump when the build or the layout of the prefix changes in a way the
# versions and flags in the stamp do not show.
RECIPE=1

src_dir=$KEYHOLD_CACHE/src
deps_dir=$KEYHOLD_CACHE/deps
prefix=$deps_dir/$arch
mkdir -p "$src_dir" "$deps_dir"

log() { echo "build-cross-deps($arch): $*" >&2; }

# The version apt-get source would fetch (the highest one apt knows); falls
# back to what is already in the cache when apt has no source lists.
source_version() {
  local pkg=$1 v best=""
  for v in $(apt-cache showsrc --only-source "$pkg" 2>/dev/null | sed -n 's/^Version: //p'); do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done
  if [ -z "$best" ]; then
    for v in "$src_dir/${pkg}_"*.dsc; do
      [ -f "$v" ] || continue
      v=${v##*/"${pkg}"_}; v=${v%.dsc}
      if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done
  fi
  [ -n "$best" ] || { log "no source package $pkg known: is deb-src enabled (scripts/setup-system.sh all) and apt-get update run?"; return 1; }
  echo "$best"
}

cryptopp_version=$(source_version libcrypto++)
tinyxml_version=$(source_version tinyxml)
compiler_pkg=$(dpkg-query -W -f='${Version}' "g++-mingw-w64-$deb_arch-posix" 2>/dev/null || true)
stamp_text="recipe=$RECIPE
libcrypto++=$cryptopp_version
tinyxml=$tinyxml_version
compiler=$("$CXX" --version | head -n1) $compiler_pkg
cryptopp_cxxflags=$CRYPTOPP_CXXFLAGS
tinyxml_cxxflags=$TINYXML_CXXFLAGS"

is_current() { [ -f "$prefix/.stamp" ] && [ "$(cat "$prefix/.stamp")" = "$stamp_text" ]; }

if is_current; then
  log "up to date: $prefix"
  exit 0
fi

# One build per arch at a time; whoever waits finds the stamp afterwards.
exec 9>"$deps_dir/$arch.lock"
flock 9
if is_current; then
  log "up to date: $prefix"
  exit 0
fi

for h in /usr/include/SimpleIni.h /usr/include/boost/tokenizer.hpp; do
  [ -f "$h" ] || { log "$h missing: run scripts/setup-system.sh"; exit 1; }
done

# Source packages are kept in the cache; only a missing version is fetched.
fetch_source() {
  # (The .dsc name carries the Debian revision but not the epoch.)
  local pkg=$1 ver=$2 dsc=$src_dir/${1}_${2#*:}.dsc
  if [ ! -f "$dsc" ]; then
    log "fetching source package $pkg $ver"
    local sandbox=()
    # As root apt would drop to _apt for the download, which cannot write here.
    [ "$(id -u)" = 0 ] && sandbox=(-o APT::Sandbox::User=root)
    (cd "$src_dir" && apt-get source -qq --download-only "${sandbox[@]}" "$pkg=$ver" >&2)
  fi
  [ -f "$dsc" ] || { log "no $dsc after apt-get source"; return 1; }
  echo "$dsc"
}

cryptopp_dsc=$(fetch_source libcrypto++ "$cryptopp_version")
tinyxml_dsc=$(fetch_source tinyxml "$tinyxml_version")

# The build tree is kept when a run fails or is interrupted, and reused by the
# next run if it was made from the same inputs (make then only finishes what
# is left); it is removed once the prefix is installed.
work=$deps_dir/.build-$arch
stage=$prefix.tmp
if [ ! -f "$work/.inputs" ] || [ "$(cat "$work/.inputs")" != "$stamp_text" ]; then
  rm -rf "$work"
  mkdir -p "$work"
  echo "$stamp_text" >"$work/.inputs"
fi
rm -rf "$stage"
mkdir -p "$stage/include/cryptopp" "$stage/lib" "$stage/headeronly"
trap 'rm -rf "$stage"' EXIT

# Runs a build step with its output in a log; shows the end of it on failure.
run_logged() {
  local name=$1; shift
  if ! "$@" >"$work/$name.log" 2>&1; then
    log "$name failed; last lines of $work/$name.log:"
    tail -n 40 "$work/$name.log" >&2
    exit 1
  fi
}

# Unpacks a source package (with Debian's patches applied) unless done before.
extract() {
  local dsc=$1 dir=$2
  [ -f "$dir.extracted" ] && return 0
  rm -rf "$dir"
  run_logged "extract-${dir##*/}" dpkg-source -x "$dsc" "$dir"
  touch "$dir.extracted"
}

start=$SECONDS
log "building Crypto++ $cryptopp_version"
extract "$cryptopp_dsc" "$work/cryptopp"
run_logged cryptopp make -C "$work/cryptopp" -f GNUmakefile -j"$jobs" static \
  CXX="$CXX" AR="$AR" RANLIB="$RANLIB" CXXFLAGS="$CRYPTOPP_CXXFLAGS"
# Debian's patch names the library libcrypto++; the prefix uses upstream's name.
for lib in "$work/cryptopp"/libcryptopp.a "$work/cryptopp"/libcrypto++.a; do
  [ -f "$lib" ] && break
done
cp "$lib" "$stage/lib/libcryptopp.a"
cp "$work/cryptopp"/*.h "$stage/include/cryptopp/"
log "Crypto++ done in $((SECONDS - start))s"

log "building TinyXML $tinyxml_version"
extract "$tinyxml_dsc" "$work/tinyxml"
tinyxml_build() (
  cd "$work/tinyxml"
  for f in tinyxml tinystr tinyxmlerror tinyxmlparser; do
    # shellcheck disable=SC2086
    "$CXX" $TINYXML_CXXFLAGS -c "$f.cpp" -o "$f.o"
  done
  rm -f libtinyxml.a
  "$AR" rc libtinyxml.a tinyxml.o tinystr.o tinyxmlerror.o tinyxmlparser.o
  "$RANLIB" libtinyxml.a
)
run_logged tinyxml tinyxml_build
cp "$work/tinyxml/libtinyxml.a" "$stage/lib/"
cp "$work/tinyxml/tinyxml.h" "$work/tinyxml/tinystr.h" "$stage/include/"

# Header-only parts, taken from the host's Debian packages. Only these are
# linked in: the cross compiler must never see the rest of /usr/include.
# On Windows SimpleIni converts with the Win32 API and needs no other header;
# its users must define SI_IMPLEMENTATION, as Debian's header keeps the template
# bodies behind it.
ln -s /usr/include/SimpleIni.h "$stage/headeronly/SimpleIni.h"
ln -s /usr/include/boost "$stage/headeronly/boost"

log "checking the staged prefix"
if ! "$here/check-cross-deps.sh" "$arch" "$stage"; then
  log "the built libraries failed their check; the build tree is kept in $work"
  exit 1
fi

echo "$stamp_text" >"$stage/.stamp"
rm -rf "$prefix.old"
[ -e "$prefix" ] && mv "$prefix" "$prefix.old"
mv "$stage" "$prefix"
rm -rf "$prefix.old" "$work"
trap - EXIT
log "installed $prefix in $((SECONDS - start))s"
