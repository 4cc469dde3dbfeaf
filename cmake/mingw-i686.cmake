# Cross build for 32-bit Windows (keyhold.wfx) with the posix-thread mingw-w64 toolchain.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
#         -DKEYHOLD_DEPS_PREFIX=$HOME/.cache/keyhold/deps/i686
# The dependencies come from scripts/build-cross-deps.sh i686.

set(CMAKE_SYSTEM_PROCESSOR x86)
set(KEYHOLD_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
