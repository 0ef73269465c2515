# What a publisher's build of Setup.exe needs beyond compiling: the same
# bytes from the same sources in any folder at any time, the publisher's
# branding stamped by setup-pack, and an optional Authenticode signature.

# --- Reproducible --------------------------------------------------------
# No build folder and no time in the binary. The PE time stamp is 0, or
# SOURCE_DATE_EPOCH when it is set while the build is configured. (The
# linker computes the PE checksum itself.)
set(SETUP_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
function(setup_reproducible target)
  target_compile_options(${target} PRIVATE "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=."
                                           "-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")
  if(SETUP_SOURCE_DATE_EPOCH STREQUAL "")
    target_link_options(${target} PRIVATE -Wl,--no-insert-timestamp)
  else()
    # The linker takes the time stamp from SOURCE_DATE_EPOCH itself.
    set_target_properties(${target} PROPERTIES
      CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${SETUP_SOURCE_DATE_EPOCH}"
      C_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${SETUP_SOURCE_DATE_EPOCH}")
  endif()
endfunction()

# --- Signed ------------------------------------------------------------------
set(SETUP_SIGN_CERTIFICATE "" CACHE FILEPATH "Code-signing certificate, PEM (with SETUP_SIGN_KEY)")
set(SETUP_SIGN_KEY "" CACHE FILEPATH "Private key of the code-signing certificate, PEM")
set(SETUP_SIGN_PKCS12 "" CACHE FILEPATH "Code-signing certificate and key in one PKCS#12 file (instead of the PEM files)")
set(SETUP_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of the key or the PKCS#12 file")
set(SETUP_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping server (empty: no time stamp)")

set(SETUP_SIGN_ARGS "")
if(SETUP_SIGN_PKCS12 OR SETUP_SIGN_CERTIFICATE OR SETUP_SIGN_KEY)
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode (apt-get install osslsigncode)")
  endif()
  if(SETUP_SIGN_PKCS12)
    get_filename_component(SETUP_SIGN_PKCS12 "${SETUP_SIGN_PKCS12}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
    if(NOT EXISTS "${SETUP_SIGN_PKCS12}")
      message(FATAL_ERROR "SETUP_SIGN_PKCS12: ${SETUP_SIGN_PKCS12} does not exist")
    endif()
    list(APPEND SETUP_SIGN_ARGS -pkcs12 "${SETUP_SIGN_PKCS12}")
  else()
    foreach(part SETUP_SIGN_CERTIFICATE SETUP_SIGN_KEY)
      if(NOT ${part})
        message(FATAL_ERROR "Signing with PEM files needs both SETUP_SIGN_CERTIFICATE and SETUP_SIGN_KEY")
      endif()
      get_filename_component(${part} "${${part}}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
      if(NOT EXISTS "${${part}}")
        message(FATAL_ERROR "${part}: ${${part}} does not exist")
      endif()
    endforeach()
    list(APPEND SETUP_SIGN_ARGS -certs "${SETUP_SIGN_CERTIFICATE}" -key "${SETUP_SIGN_KEY}")
  endif()
  if(SETUP_SIGN_PASSWORD_FILE)
    get_filename_component(SETUP_SIGN_PASSWORD_FILE "${SETUP_SIGN_PASSWORD_FILE}" ABSOLUTE
                           BASE_DIR "${PROJECT_SOURCE_DIR}")
    list(APPEND SETUP_SIGN_ARGS -readpass "${SETUP_SIGN_PASSWORD_FILE}")
  endif()
  list(APPEND SETUP_SIGN_ARGS -h sha256)
  if(SETUP_SIGN_TIMESTAMP_URL)
    list(APPEND SETUP_SIGN_ARGS -ts "${SETUP_SIGN_TIMESTAMP_URL}")
  endif()
  if(SETUP_SIGN_TIMESTAMP_URL)
    message(STATUS "Signing: Setup.exe and setup-check.exe, SHA-256, time-stamped by ${SETUP_SIGN_TIMESTAMP_URL}")
  else()
    message(STATUS "Signing: Setup.exe and setup-check.exe, SHA-256, without a time stamp")
  endif()
endif()

# Signs a program once it is linked (or `file`, made from it after linking):
# into a copy, which then takes its place. Call it after the target's
# OUTPUT_NAME is set: the build's message names the file from it (a COMMENT
# does not expand generator expressions).
function(setup_sign target)
  if(SETUP_SIGN_ARGS STREQUAL "")
    return()
  endif()
  get_target_property(file_name ${target} OUTPUT_NAME)
  if(NOT file_name)
    set(file_name ${target})
  endif()
  set(file "$<TARGET_FILE:${target}>")
  if(ARGC GREATER 1)
    set(file "${ARGV1}")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${OSSLSIGNCODE} sign ${SETUP_SIGN_ARGS} -in "${file}" -out "${file}.signed"
    COMMAND ${CMAKE_COMMAND} -E rename "${file}.signed" "${file}"
    COMMENT "Signing ${file_name}${CMAKE_EXECUTABLE_SUFFIX}"
    VERBATIM)
endfunction()

# --- Branded ------------------------------------------------------------------
# A publisher's own configuration, picture, icon, version information and
# source switch. The program is linked with the defaults, then setup-pack
# stamps these onto it: one way of branding, whether a publisher builds or
# packs a ready Setup.exe, with setup-pack's checks. Relative paths are taken
# from the source folder; an empty option keeps the default.
set(SETUP_CONFIGURATION "" CACHE STRING "Stored configuration (resource 103); empty: the default one")
set(SETUP_BITMAP "" CACHE STRING "Dialog picture, 510 x 437, 24-bit BMP (resource 202); empty: the default one")
set(SETUP_ICON "" CACHE STRING "Program icon with 48, 32 and 16 pixel images (resource 201); empty: the default one")
set(SETUP_PRODUCT_NAME "" CACHE STRING "Product name in the version information; empty: the default one")
set(SETUP_PRODUCT_VERSION "" CACHE STRING "Product version, up to four dotted numbers; empty: the default one")
set(SETUP_COMPANY "" CACHE STRING "Company name in the version information; empty: the default one")
set(SETUP_COPYRIGHT "" CACHE STRING "Copyright notice in the version information (LegalCopyright); empty: none")
option(SETUP_STORED_CONFIGURATION_ONLY
       "Read only the stored configuration, never a setup.xml beside the program (for a single-file download)" OFF)

# A build folder configured when these options had the program's own texts
# as their values holds those still: they are no branding.
foreach(pair "SETUP_PRODUCT_NAME=Quarn Doduv Belmaris" "SETUP_PRODUCT_VERSION=1.0.0.0" "SETUP_COMPANY=Yolvane")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 text)
  if("${${name}}" STREQUAL "${text}")
    set_property(CACHE ${name} PROPERTY VALUE "")
    set(${name} "")
  endif()
endforeach()

set(SETUP_PACK_ARGS "")
set(SETUP_BRAND_FILES "")
foreach(pair CONFIGURATION=--configuration BITMAP=--picture ICON=--icon)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 part)
  list(GET pair 1 flag)
  if(NOT SETUP_${part} STREQUAL "")
    get_filename_component(file "${SETUP_${part}}" ABSOLUTE BASE_DIR "${PROJECT_SOURCE_DIR}")
    if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
      message(FATAL_ERROR "SETUP_${part}: ${file} does not exist (a relative path is taken from the source "
                          "folder, ${PROJECT_SOURCE_DIR})")
    endif()
    list(APPEND SETUP_PACK_ARGS ${flag} "${file}")
    list(APPEND SETUP_BRAND_FILES "${file}")
  endif()
endforeach()
foreach(pair PRODUCT_NAME=--product-name PRODUCT_VERSION=--product-version COMPANY=--company
             COPYRIGHT=--copyright)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 part)
  list(GET pair 1 flag)
  if(NOT SETUP_${part} STREQUAL "")
    list(APPEND SETUP_PACK_ARGS ${flag} "${SETUP_${part}}")
  endif()
endforeach()
if(SETUP_STORED_CONFIGURATION_ONLY)
  list(APPEND SETUP_PACK_ARGS --stored-configuration-only)
endif()
set(SETUP_BRANDED OFF)
if(NOT SETUP_PACK_ARGS STREQUAL "")
  set(SETUP_BRANDED ON)
  list(JOIN SETUP_PACK_ARGS " " shown)
  message(STATUS "Branding: setup-pack ${shown}")
endif()

# setup-pack runs on the building machine: a native one, built from these
# sources in a build folder of its own, only when something is branded.
function(setup_brand target)
  if(NOT SETUP_BRANDED)
    return()
  endif()
  include(ExternalProject)
  set(host ${CMAKE_BINARY_DIR}/host-tools)
  set(pack ${host}/setup-pack${CMAKE_HOST_EXECUTABLE_SUFFIX})
  cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
  ExternalProject_Add(host_setup_pack
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${host}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DBUILD_WINDOWS=OFF -DBUILD_SANITIZED=OFF -DBUILD_BENCHMARKS=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${host} --target setup-pack -j ${cores}
    BUILD_BYPRODUCTS ${pack}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  # The plain program goes into a folder of its own; the branded one takes
  # its usual place. A changed branding file or setup-pack links it anew,
  # and so packs it anew. (A COMMENT does not expand generator expressions.)
  get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
  get_target_property(file_name ${target} OUTPUT_NAME)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plain)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${SETUP_BRAND_FILES} ${pack})
  add_dependencies(${target} host_setup_pack)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${pack} --from "$<TARGET_FILE:${target}>" --out "${folder}/$<TARGET_FILE_NAME:${target}>"
            ${SETUP_PACK_ARGS}
    COMMENT "Branding ${file_name}${CMAKE_EXECUTABLE_SUFFIX} with setup-pack"
    VERBATIM)
endfunction()
