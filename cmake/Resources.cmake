# Windows resources (version information and icons) of the plug-in DLL.
#
#   include(cmake/Resources.cmake)        # at file scope, after project()
#   keyhold_add_resources(<target>)
#
# On Windows builds (mingw-w64, CMAKE_RC_COMPILER is windres) this compiles
# src/res/keyhold.rc into <target>. The 64-bit plug-in is called keyhold.wfx64,
# so its OriginalFilename is set accordingly. Elsewhere it does nothing.

if(WIN32)
  # enable_language() is only allowed at file scope, not inside the function.
  enable_language(RC)
endif()

set(KEYHOLD_RES_DIR "${CMAKE_CURRENT_LIST_DIR}/../src/res")
get_filename_component(KEYHOLD_RES_DIR "${KEYHOLD_RES_DIR}" ABSOLUTE)

function(keyhold_add_resources target)
  if(NOT WIN32)
    return()
  endif()

  set(rc "${KEYHOLD_RES_DIR}/keyhold.rc")
  target_sources(${target} PRIVATE "${rc}")
  # Also lets the C++ code include "resource.h".
  target_include_directories(${target} PRIVATE "${KEYHOLD_RES_DIR}")

  # The icons are referenced from the .rc file; recompile when one changes.
  file(GLOB icons CONFIGURE_DEPENDS "${KEYHOLD_RES_DIR}/icons/*.ico")
  set_property(SOURCE "${rc}" TARGET_DIRECTORY ${target}
               APPEND PROPERTY OBJECT_DEPENDS "${KEYHOLD_RES_DIR}/resource.h" ${icons})

  set(version_major 0)
  set(version_minor 1)
  set(version_patch 0)
  if(DEFINED PROJECT_VERSION_MAJOR AND NOT PROJECT_VERSION_MAJOR STREQUAL "")
    set(version_major ${PROJECT_VERSION_MAJOR})
  endif()
  if(DEFINED PROJECT_VERSION_MINOR AND NOT PROJECT_VERSION_MINOR STREQUAL "")
    set(version_minor ${PROJECT_VERSION_MINOR})
  endif()
  if(DEFINED PROJECT_VERSION_PATCH AND NOT PROJECT_VERSION_PATCH STREQUAL "")
    set(version_patch ${PROJECT_VERSION_PATCH})
  endif()

  set(defs
    KH_VERSION_MAJOR=${version_major}
    KH_VERSION_MINOR=${version_minor}
    KH_VERSION_PATCH=${version_patch})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    # windres hands -D options on to the preprocessor through a shell
    # without re-quoting them, so a plain "..." would lose its quotes there.
    # The backslashes survive CMake's escaping (Make and Ninja alike) and
    # windres' shell turns \" back into ", leaving the string literal
    # "keyhold.wfx64" for the preprocessor.
    list(APPEND defs [[KH_ORIGINAL_FILENAME=\"keyhold.wfx64\"]])
  endif()
  foreach(def IN LISTS defs)
    target_compile_definitions(${target} PRIVATE "$<$<COMPILE_LANGUAGE:RC>:${def}>")
  endforeach()
endfunction()
