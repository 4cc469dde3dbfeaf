# Cross build for 64-bit Windows (keyhold.wfx64) with the posix-thread mingw-w64 toolchain.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
#         -DKEYHOLD_DEPS_PREFIX=$HOME/.cache/keyhold/deps/x86_64
# The dependencies come from scripts/build-cross-deps.sh x86_64.

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KEYHOLD_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
