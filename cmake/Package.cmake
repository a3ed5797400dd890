# Installation and the Linux packages: the Debian package and a tarball of
# the same files, made by CPack from one install tree.
#
#   module      <libdir>/darvik/DarvikIPCapture.so   (a plugin, loaded by name)
#   programs    bin/darvik-host, bin/darvik-camsim
#   headers     include/darvik/*.h
#   CMake       <libdir>/cmake/DarvikIPCapture/ (find_package: Darvik::Contract,
#               DarvikIPCapture_MODULE)
#   pkg-config  <libdir>/pkgconfig/darvik-ipcapture.pc
#   documents   share/doc/darvik-ipcapture/ (contract.md, README.md, samples/)
#
# The Windows zips are put together by scripts/package from the mingw-w64
# trees; nothing here runs for a Windows build.
if(WIN32)
  return()
endif()

# `cmake --install` and CPack build only what they install, not the whole
# test suite.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(darvik_docdir share/doc/darvik-ipcapture)

install(TARGETS DarvikIPCapture
  LIBRARY DESTINATION ${DARVIK_INSTALL_MODULEDIR}
  PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(TARGETS darvik-host darvik-camsim RUNTIME DESTINATION ${DARVIK_INSTALL_BINDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/darvik DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/docs/contract.md
  ${PROJECT_SOURCE_DIR}/packaging/README.md
  ${PROJECT_SOURCE_DIR}/packaging/copyright
  DESTINATION ${darvik_docdir})
# Debian wants the change log compressed, without a time stamp in it.
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${darvik_docdir})
# The sample as sources and build files, whatever was built beside them.
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/sample_host.c
  ${PROJECT_SOURCE_DIR}/samples/sample_objects.h
  ${PROJECT_SOURCE_DIR}/samples/sample_tables.h
  ${PROJECT_SOURCE_DIR}/samples/Makefile
  ${PROJECT_SOURCE_DIR}/samples/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/README.md
  DESTINATION ${darvik_docdir}/samples)
install(FILES
  ${PROJECT_SOURCE_DIR}/samples/cpp/sample_host.cpp
  ${PROJECT_SOURCE_DIR}/samples/cpp/HostObjects.h
  ${PROJECT_SOURCE_DIR}/samples/cpp/ModuleLoader.h
  ${PROJECT_SOURCE_DIR}/samples/cpp/CMakeLists.txt
  ${PROJECT_SOURCE_DIR}/samples/cpp/README.md
  DESTINATION ${darvik_docdir}/samples/cpp)

# For hosts built against the installed headers. The module is loaded at run
# time, never linked, so both name its path instead of a library:
# - CMake: find_package(DarvikIPCapture CONFIG) gives the INTERFACE target
#   Darvik::Contract (the headers, C++17) and the variable
#   DarvikIPCapture_MODULE; the files find the installation from their own
#   place, so an unpacked tarball works as well as the .deb;
# - pkg-config: `pkg-config --cflags darvik-ipcapture`, and
#   `pkg-config --variable=module darvik-ipcapture` for the module.
add_library(darvik_contract INTERFACE)
set_target_properties(darvik_contract PROPERTIES EXPORT_NAME Contract)
target_include_directories(darvik_contract INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(darvik_contract INTERFACE cxx_std_17)
install(TARGETS darvik_contract EXPORT DarvikIPCaptureTargets)

include(CMakePackageConfigHelpers)
set(darvik_cmakedir ${darvik_libdir}/cmake/DarvikIPCapture)
set(DARVIK_MODULE_FILE ${DARVIK_INSTALL_MODULEDIR}/DarvikIPCapture.so)
install(EXPORT DarvikIPCaptureTargets NAMESPACE Darvik:: DESTINATION ${darvik_cmakedir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/packaging/DarvikIPCaptureConfig.cmake.in
  ${PROJECT_BINARY_DIR}/DarvikIPCaptureConfig.cmake
  INSTALL_DESTINATION ${darvik_cmakedir}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR DARVIK_MODULE_FILE)
# The module is built for one architecture: a 32-bit project does not take
# the 64-bit package.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/DarvikIPCaptureConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/DarvikIPCaptureConfig.cmake
  ${PROJECT_BINARY_DIR}/DarvikIPCaptureConfigVersion.cmake DESTINATION ${darvik_cmakedir})
# The .pc file finds the installation from its own folder too (pcfiledir):
# the Debian package and CPack's tarball install under different prefixes.
file(RELATIVE_PATH DARVIK_PC_TO_PREFIX /${darvik_libdir}/pkgconfig /)
string(REGEX REPLACE "/$" "" DARVIK_PC_TO_PREFIX "${DARVIK_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/darvik-ipcapture.pc.in ${PROJECT_BINARY_DIR}/darvik-ipcapture.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/darvik-ipcapture.pc DESTINATION ${darvik_libdir}/pkgconfig)

set(CPACK_PACKAGE_NAME darvik-ipcapture)
set(CPACK_PACKAGE_VENDOR "Brevane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "capture driver module for Darvik IP cameras")
set(CPACK_PACKAGE_CONTACT "Brevane packaging <packaging@brevane.com>")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/dist/;/\\\\.git/")
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

# Tarball: DarvikIPCapture-<version>-linux-<machine>.tar.gz, one top folder
# of the same name holding bin/, lib/, include/ and share/.
set(CPACK_PACKAGE_FILE_NAME "DarvikIPCapture-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_ARCHIVE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}")

# Debian package: darvik-ipcapture_<version>_<arch>.deb, installed under /usr
# (CPack's default prefix for it).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.brevane.com/")
# The long description: CPack indents it under the summary line and turns
# the empty line into Debian's paragraph mark.
set(CPACK_PACKAGE_DESCRIPTION "DarvikIPCapture.so is loaded by a video recording host. It streams motion
JPEG and MPEG-4 from Darvik cameras over HTTP, switches their relay outputs,
reports their alarm inputs, moves the camera head with named presets and
answers what a camera can do.

The package holds the module, the public headers of its host contract with
the contract's description, a CMake package and a pkg-config file for them,
sample hosts in C and C++, the reference host darvik-host and the camera
simulator darvik-camsim.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
