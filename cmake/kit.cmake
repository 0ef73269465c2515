# The publisher's kit: `cmake --build build --target package` makes
#   setup-kit-<version>-windows.zip        (Setup.exe, setup-check.exe, setup-pack.exe)
#   setup-kit-<version>-linux-x86_64.tar.gz (Setup.exe, static setup-check and setup-pack, preview.sh)
# each with the schema, the publishing documents and the example medium,
# under one folder named as the archive.
#
# The same tree gives the same archives byte for byte: every entry has the
# time KIT_EPOCH (SOURCE_DATE_EPOCH when the build is configured, else the
# time of the last commit, else 1980-01-01, the earliest time a zip holds),
# fixed permissions and owner, and the entries are sorted.

find_program(WIXL wixl)
if(NOT WIXL)
  message(STATUS "wixl not found: the publisher's kit (the package target) is skipped")
  return()
endif()

set(KIT_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
if(KIT_EPOCH STREQUAL "")
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE KIT_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT KIT_EPOCH MATCHES "^[0-9]+$" OR KIT_EPOCH LESS 315532800)
  set(KIT_EPOCH 315532800)
endif()

# The example medium without Setup.exe (the kit holds it once, at its top).
# Staged again only when something it is made of changes.
set(KIT_MEDIUM ${CMAKE_BINARY_DIR}/kit/example)
file(GLOB KIT_MEDIUM_SOURCES ${PROJECT_SOURCE_DIR}/examples/medium/* ${PROJECT_SOURCE_DIR}/examples/product/*)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/kit/example.stamp
  COMMAND python3 ${PROJECT_SOURCE_DIR}/cmake/kit_medium.py --bin-dir ${WIN_BUILD_DIR}
          --out ${KIT_MEDIUM} --epoch ${KIT_EPOCH}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/kit/example.stamp
  DEPENDS ${KIT_MEDIUM_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/kit_medium.py
          ${PROJECT_SOURCE_DIR}/tests/examples/run_example.py
          ${WIN_BUILD_DIR}/example_runtime_setup.exe ${WIN_BUILD_DIR}/example_samples_setup.exe
          ${WIN_BUILD_DIR}/example_german_setup.exe
  COMMENT "Staging the example medium for the kit"
  VERBATIM)
add_custom_target(kit_medium ALL DEPENDS ${CMAKE_BINARY_DIR}/kit/example.stamp)
add_dependencies(kit_medium setup_exe)

# What both archives hold; the install components are the two archives.
foreach(kit windows linux)
  install(FILES ${PROJECT_SOURCE_DIR}/schema/setup.xsd DESTINATION . COMPONENT ${kit})
  install(FILES ${PROJECT_SOURCE_DIR}/docs/publishing.md ${PROJECT_SOURCE_DIR}/docs/configuration.md
                ${PROJECT_SOURCE_DIR}/docs/deployment.md
          DESTINATION docs COMPONENT ${kit})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs COMPONENT ${kit}
          FILES_MATCHING PATTERN "*.png")
  install(DIRECTORY ${KIT_MEDIUM}/ DESTINATION example COMPONENT ${kit} USE_SOURCE_PERMISSIONS)
  install(PROGRAMS ${WIN_BUILD_DIR}/Setup.exe DESTINATION . COMPONENT ${kit})
endforeach()

install(PROGRAMS ${WIN_BUILD_DIR}/setup-check.exe ${WIN_BUILD_DIR}/setup-pack.exe
        DESTINATION . COMPONENT windows)

install(TARGETS setup-check setup-pack RUNTIME DESTINATION . COMPONENT linux)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/preview.sh DESTINATION . COMPONENT linux)
# The preview's modules are matched when the kit is made, so that a new one
# needs no change here.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/scripts/ DESTINATION preview COMPONENT linux
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
        FILES_MATCHING PATTERN "preview.py" PATTERN "preview_*.py" PATTERN "__pycache__" EXCLUDE)
# The driver's script format, for a publisher who drives the windows further.
install(FILES ${PROJECT_SOURCE_DIR}/tests/e2e/DRIVER.md DESTINATION preview COMPONENT linux)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tests/e2e/run_e2e.py ${PROJECT_SOURCE_DIR}/tests/e2e/e2e_model.py
                 ${PROJECT_SOURCE_DIR}/tests/e2e/http_server.py ${PROJECT_SOURCE_DIR}/tests/pe/check_pe.py
                 ${WIN_BUILD_DIR}/e2e_driver.exe ${WIN_BUILD_DIR}/e2e_stub.exe
        DESTINATION preview COMPONENT linux)

# One component per archive: kit_generator.cmake gives the zip the Windows
# component and the tarball the Linux one; kit_post.cmake writes each archive
# again, sorted and with fixed times and owner.
set(CPACK_PACKAGE_NAME setup-kit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR ZIP TGZ)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_WINDOWS_FILE_NAME setup-kit-${PROJECT_VERSION}-windows)
set(CPACK_ARCHIVE_LINUX_FILE_NAME setup-kit-${PROJECT_VERSION}-linux-x86_64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_KIT_EPOCH ${KIT_EPOCH})
set(CPACK_KIT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/kit_generator.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/kit_post.cmake)
include(CPack)

# The kit made twice gives the same bytes, holds what it should, and its
# Linux tools run without any library installed.
add_test(NAME kit_reproducible
  COMMAND python3 ${PROJECT_SOURCE_DIR}/tests/kit/check_kit.py --cpack ${CMAKE_CPACK_COMMAND}
          --build ${CMAKE_BINARY_DIR} --source ${PROJECT_SOURCE_DIR} --work ${CMAKE_BINARY_DIR}/kit-test)
set_tests_properties(kit_reproducible PROPERTIES TIMEOUT 1800)
