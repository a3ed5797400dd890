# Third-party packages, all from Debian (see scripts/install-deps), found by
# the CMake packages they ship, or by pkg-config for the two that ship none
# (libmicrohttpd, FFmpeg's libavcodec).
#
# Linux builds use the system's libraries. The Windows module runs on the
# platform's own services (WinHTTP, Winsock, MSXML over COM, the version API,
# BCrypt), so its build needs none of them; header-only libraries (CLI11,
# nlohmann JSON) are used from the build machine's headers through a folder
# of links that holds only them, and GoogleTest is compiled from source.
find_package(Threads REQUIRED)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  pkg_check_modules(MHD REQUIRED IMPORTED_TARGET libmicrohttpd)
  find_package(pugixml CONFIG REQUIRED)
  find_package(libjpeg-turbo CONFIG REQUIRED)
  pkg_check_modules(AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
  if(DARVIK_BUILD_TESTS)
    find_package(GTest CONFIG REQUIRED)
  endif()
else()
  # The header-only packages of the build machine (outside the cross
  # compiler's root). Their targets name the machine's whole include folder,
  # whose C library headers must stay out of a mingw-w64 build: each target
  # is pointed at a folder holding links to its own headers only.
  set(darvik_header_links ${PROJECT_BINARY_DIR}/header-only)
  file(MAKE_DIRECTORY ${darvik_header_links})
  find_package(CLI11 CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  find_package(nlohmann_json 3 CONFIG REQUIRED NO_CMAKE_FIND_ROOT_PATH)
  set(darvik_header_targets CLI11::CLI11 nlohmann_json::nlohmann_json)
  set(darvik_header_files CLI/CLI.hpp nlohmann/json.hpp)
  foreach(target header IN ZIP_LISTS darvik_header_targets darvik_header_files)
    cmake_path(GET header PARENT_PATH folder)
    get_target_property(include_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
    find_path(header_dir ${header} PATHS ${include_dirs}
      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH NO_CACHE)
    if(NOT header_dir)
      message(FATAL_ERROR "${target}: no ${header} in ${include_dirs}")
    endif()
    if(NOT EXISTS ${darvik_header_links}/${folder})
      cmake_path(APPEND header_dir ${folder} OUTPUT_VARIABLE source_folder)
      cmake_path(NORMAL_PATH source_folder)
      file(CREATE_LINK ${source_folder} ${darvik_header_links}/${folder} SYMBOLIC)
    endif()
    set_target_properties(${target} PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES ${darvik_header_links}
      INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${darvik_header_links})
  endforeach()
  if(DARVIK_BUILD_TESTS)
    # GoogleTest's sources: DARVIK_GOOGLETEST_SOURCE_DIR, else src/googletest
    # under the build machine's prefixes (Debian's googletest package).
    find_path(DARVIK_GOOGLETEST_SOURCE_DIR googletest/include/gtest/gtest.h
      PATHS ${CMAKE_SYSTEM_PREFIX_PATH} PATH_SUFFIXES src/googletest
      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
      DOC "GoogleTest's source tree, built for the Windows test programs")
    if(NOT DARVIK_GOOGLETEST_SOURCE_DIR)
      message(FATAL_ERROR "No GoogleTest sources: set DARVIK_GOOGLETEST_SOURCE_DIR")
    endif()
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${DARVIK_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endif()

if(DARVIK_BUILD_TESTS)
  include(GoogleTest)
endif()
if(DARVIK_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
