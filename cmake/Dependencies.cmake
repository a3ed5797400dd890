# Third-party packages, all from Debian (see scripts/install-deps).
#
# Linux builds use the system's libraries. The Windows module runs on the
# platform's own services (WinHTTP, Winsock, MSXML over COM, the version API,
# BCrypt),
# so its build needs none of them; header-only libraries (CLI11, nlohmann
# JSON) are used from Debian's headers through a folder of links that holds
# only them, and GoogleTest is compiled from Debian's sources.
find_package(Threads REQUIRED)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  pkg_check_modules(MHD REQUIRED IMPORTED_TARGET libmicrohttpd)
  pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
  pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
  pkg_check_modules(AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
  if(DARVIK_BUILD_TESTS)
    find_package(GTest REQUIRED)
  endif()
else()
  set(darvik_header_links ${PROJECT_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${darvik_header_links})
  foreach(folder CLI nlohmann)
    if(NOT EXISTS ${darvik_header_links}/${folder})
      file(CREATE_LINK /usr/include/${folder} ${darvik_header_links}/${folder} SYMBOLIC)
    endif()
  endforeach()
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${darvik_header_links})
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${darvik_header_links})
  if(DARVIK_BUILD_TESTS)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endif()

if(DARVIK_BUILD_TESTS)
  include(GoogleTest)
endif()
if(DARVIK_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
