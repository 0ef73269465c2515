# Read by CPack once per generator: the zip is the Windows kit, the tarball
# the Linux one.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_PACKAGE_FILE_NAME "setup-kit-${CPACK_PACKAGE_VERSION}-windows")
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENTS_ALL linux)
  set(CPACK_PACKAGE_FILE_NAME "setup-kit-${CPACK_PACKAGE_VERSION}-linux-x86_64")
endif()
