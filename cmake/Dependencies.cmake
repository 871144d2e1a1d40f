# The libraries the programs are built on, each from a Debian package:
# tools/install-dependencies.sh installs them all. A missing one stops the
# configure step with the name of the package that brings it.
find_package(PkgConfig QUIET)

function(fieldsearch_require found what package)
  if(NOT ${found})
    message(FATAL_ERROR "${what} was not found: install the Debian package ${package} "
                        "(tools/install-dependencies.sh installs every package the build needs)")
  endif()
endfunction()

fieldsearch_require(PKG_CONFIG_FOUND "pkg-config" "pkg-config")

find_package(CLI11 CONFIG QUIET)
fieldsearch_require(CLI11_FOUND "CLI11 (command-line parser)" "libcli11-dev")

find_package(nlohmann_json CONFIG QUIET)
fieldsearch_require(nlohmann_json_FOUND "nlohmann_json (JSON library)" "nlohmann-json3-dev")

find_package(ZLIB QUIET)
fieldsearch_require(ZLIB_FOUND "zlib (compressed catalogues)" "zlib1g-dev")

find_package(OpenSSL QUIET COMPONENTS Crypto)
fieldsearch_require(OPENSSL_CRYPTO_LIBRARY "libcrypto (SHA-1 of leap-second lists)" "libssl-dev")

pkg_check_modules(CFITSIO QUIET IMPORTED_TARGET cfitsio)
fieldsearch_require(CFITSIO_FOUND "CFITSIO (FITS files)" "libcfitsio-dev")

pkg_check_modules(WCSLIB QUIET IMPORTED_TARGET wcslib)
fieldsearch_require(WCSLIB_FOUND "WCSLIB (world coordinate systems)" "wcslib-dev")

pkg_check_modules(ERFA QUIET IMPORTED_TARGET erfa)
fieldsearch_require(ERFA_FOUND "ERFA (the IAU's fundamental astronomy routines)" "liberfa-dev")

pkg_check_modules(PUGIXML QUIET IMPORTED_TARGET pugixml)
fieldsearch_require(PUGIXML_FOUND "pugixml (XML)" "libpugixml-dev")

# The Python interpreter of the system's packages (the one Debian's python3-*
# packages install into), for the layering check and the Python tests; an
# interpreter of a user's own environment earlier on the PATH lacks them.
if(EXISTS /usr/bin/python3 AND NOT Python3_EXECUTABLE)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 COMPONENTS Interpreter QUIET)
fieldsearch_require(Python3_Interpreter_FOUND "Python 3" "python3")

# ERFA: the planets, the Earth and the Moon for the perturbed orbits.
find_library(ERFA_LIBRARY erfa)
find_path(ERFA_INCLUDE_DIR erfa.h)
if(ERFA_LIBRARY AND ERFA_INCLUDE_DIR)
  set(ERFA_FOUND TRUE)
endif()
fieldsearch_require(ERFA_FOUND "ERFA (planetary ephemerides)" "liberfa-dev")
