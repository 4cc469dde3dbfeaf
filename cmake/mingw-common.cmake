# Shared by the two mingw-w64 toolchain files, which set KEYHOLD_MINGW_TRIPLE first.

set(CMAKE_SYSTEM_NAME Windows)

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
