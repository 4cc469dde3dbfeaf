# Cross build for 64-bit Windows (keyhold.wfx64) with the posix-thread mingw-w64 toolchain.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
#         -DKEYHOLD_DEPS_PREFIX=$HOME/.cache/keyhold/deps/x86_64
# The dependencies come from scripts/build-cross-deps.sh x86_64.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(KEYHOLD_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${KEYHOLD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEYHOLD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KEYHOLD_MINGW_TRIPLE}-windres)

# Search only the toolchain's own sysroot (and the dependency prefix, which is
# given by absolute paths): the host's /usr/include and /usr/lib hold Linux
# headers and libraries and must never leak into a Windows build.
set(CMAKE_FIND_ROOT_PATH /usr/${KEYHOLD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The plug-in must load in Total Commander without any mingw runtime DLLs next
# to it, so libgcc, libstdc++ and winpthread are linked in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
