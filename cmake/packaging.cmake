# Packages: on Linux two Debian packages in the distribution's split,
# libcorvane0 (the shared library and its SONAME link) and libcorvane-dev
# (everything needed to build against it); on Windows one zip with the DLL,
# its import library, the headers and the CMake package.
# `cmake --build <dir> --target package` makes them.
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime development)

if(CORVANE_PLATFORM STREQUAL "linux")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcorvane${PROJECT_VERSION_MAJOR})
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  # The C and C++ runtime dependencies come from the library itself.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libcorvane-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
      "libcorvane${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
      "Portable value system and operating-system layer (shared library)")
  set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
      "Portable value system and operating-system layer (development files)")
else()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_PACKAGE_FILE_NAME corvane-${PROJECT_VERSION}-windows-x86_64)
endif()

include(CPack)
