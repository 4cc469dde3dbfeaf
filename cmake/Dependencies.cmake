# Crypto++, TinyXML, SimpleIni and Boost (Tokenizer), as imported targets:
#   kh::cryptopp  kh::tinyxml  kh::headeronly
#
# Native builds take them from the system (Debian's -dev packages). Cross builds
# take them from KEYHOLD_DEPS_PREFIX, laid out by scripts/build-cross-deps.sh:
#   <prefix>/include/cryptopp/*.h   <prefix>/lib/libcryptopp.a
#   <prefix>/include/tinyxml.h      <prefix>/lib/libtinyxml.a
#   <prefix>/headeronly/SimpleIni.h <prefix>/headeronly/boost/...

set(KEYHOLD_DEPS_PREFIX "" CACHE PATH "Prefix of the cross-built dependencies")

add_library(kh::headeronly INTERFACE IMPORTED)
# Narrow strings only: no wide-character conversion library is needed.
set_target_properties(kh::headeronly PROPERTIES INTERFACE_COMPILE_DEFINITIONS SI_NO_CONVERSION)
add_library(kh::cryptopp UNKNOWN IMPORTED)
add_library(kh::tinyxml UNKNOWN IMPORTED)

if(KEYHOLD_DEPS_PREFIX)
  foreach(f lib/libcryptopp.a lib/libtinyxml.a include/tinyxml.h include/cryptopp/cryptlib.h headeronly/SimpleIni.h
            headeronly/boost/tokenizer.hpp)
    if(NOT EXISTS "${KEYHOLD_DEPS_PREFIX}/${f}")
      message(FATAL_ERROR "${KEYHOLD_DEPS_PREFIX}/${f} is missing: run scripts/build-cross-deps.sh")
    endif()
  endforeach()
  set_target_properties(kh::cryptopp PROPERTIES
    IMPORTED_LOCATION "${KEYHOLD_DEPS_PREFIX}/lib/libcryptopp.a"
    INTERFACE_INCLUDE_DIRECTORIES "${KEYHOLD_DEPS_PREFIX}/include")
  set_target_properties(kh::tinyxml PROPERTIES
    IMPORTED_LOCATION "${KEYHOLD_DEPS_PREFIX}/lib/libtinyxml.a"
    INTERFACE_INCLUDE_DIRECTORIES "${KEYHOLD_DEPS_PREFIX}/include"
    INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
  set_target_properties(kh::headeronly PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${KEYHOLD_DEPS_PREFIX}/headeronly")
else()
  find_path(CRYPTOPP_INCLUDE_DIR cryptopp/cryptlib.h REQUIRED)
  find_library(CRYPTOPP_LIBRARY NAMES crypto++ cryptopp REQUIRED)
  find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
  find_library(TINYXML_LIBRARY NAMES tinyxml REQUIRED)
  find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h REQUIRED)
  find_path(BOOST_INCLUDE_DIR boost/tokenizer.hpp REQUIRED)
  set_target_properties(kh::cryptopp PROPERTIES
    IMPORTED_LOCATION "${CRYPTOPP_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${CRYPTOPP_INCLUDE_DIR}")
  set_target_properties(kh::tinyxml PROPERTIES
    IMPORTED_LOCATION "${TINYXML_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${TINYXML_INCLUDE_DIR}"
    INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
  set_target_properties(kh::headeronly PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${SIMPLEINI_INCLUDE_DIR};${BOOST_INCLUDE_DIR}")
endif()
