#!/bin/sh
# Builds the archive a user installs Keyhold from: the file manager opens it,
# finds pluginst.inf at the root and offers to install the plug-in.
#
#   scripts/make-plugin-zip.sh OUT.zip WFX32 WFX64
#
# WFX32 and WFX64 are the 32-bit and 64-bit plug-in DLLs; whatever their
# names, they are stored as keyhold.wfx and keyhold.wfx64. The archive holds
# exactly these two and packaging/pluginst.inf, flat at its root, and is
# reproducible (no extra attributes, fixed timestamps).
set -eu

usage() {
    echo "usage: $0 OUT.zip WFX32 WFX64" >&2
    exit 2
}

[ "$#" -eq 3 ] || usage
out=$1
wfx32=$2
wfx64=$3

here=$(cd "$(dirname "$0")" && pwd)
inf="$here/../packaging/pluginst.inf"

for f in "$wfx32" "$wfx64" "$inf"; do
    if [ ! -f "$f" ] || [ ! -s "$f" ]; then
        echo "$0: missing or empty input: $f" >&2
        exit 1
    fi
done
command -v zip >/dev/null 2>&1 || { echo "$0: the zip command is required" >&2; exit 1; }

case $out in
    /*) ;;
    *) out="$(pwd)/$out" ;;
esac
mkdir -p "$(dirname "$out")"

stage=$(mktemp -d "${TMPDIR:-/tmp}/keyhold-zip.XXXXXX")
trap 'rm -rf "$stage"' EXIT INT TERM

cp "$wfx32" "$stage/keyhold.wfx"
cp "$wfx64" "$stage/keyhold.wfx64"
cp "$inf" "$stage/pluginst.inf"
# Same timestamps and permissions on every run, so equal inputs give an
# identical archive.
chmod 0644 "$stage"/*
touch -t 202601010000.00 "$stage"/*

rm -f "$out"
(cd "$stage" && TZ=UTC zip -q -X -j -9 "$out" pluginst.inf keyhold.wfx keyhold.wfx64)
echo "$out"
