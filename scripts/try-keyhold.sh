#!/usr/bin/env bash
# Sets up what the Linux build needs, builds the plug-in and the terminal host,
# and opens the terminal host on the plug-in. The plug-in keeps its settings
# (keyHold.ini) and its store (database.xml) beside itself in build/linux/src.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup-system.sh native
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/linux --target keyhold keyhold-panel -- -j"$(nproc)"
exec build/linux/host/keyhold-panel build/linux/src/keyhold.wfx "$@"
