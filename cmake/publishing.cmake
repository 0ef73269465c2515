# What a publisher's build of Setup.exe needs beyond compiling: the same
# bytes from the same sources in any folder at any time, an optional
# Authenticode signature, and the branding checked when the build is
# configured rather than when it fails.

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

# Signs a program once it is linked: into a copy, which then takes its place.
# Call it after the target's OUTPUT_NAME is set: the build's message names
# the file from it (a COMMENT does not expand generator expressions).
function(setup_sign target)
  if(SETUP_SIGN_ARGS STREQUAL "")
    return()
  endif()
  get_target_property(file_name ${target} OUTPUT_NAME)
  if(NOT file_name)
    set(file_name ${target})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${OSSLSIGNCODE} sign ${SETUP_SIGN_ARGS} -in "$<TARGET_FILE:${target}>"
            -out "$<TARGET_FILE:${target}>.signed"
    COMMAND ${CMAKE_COMMAND} -E rename "$<TARGET_FILE:${target}>.signed" "$<TARGET_FILE:${target}>"
    COMMENT "Signing ${file_name}${CMAKE_EXECUTABLE_SUFFIX}"
    VERBATIM)
endfunction()

# --- Branding, checked now ---------------------------------------------------
# A little-endian number of `bytes` bytes at `offset` of a file's hex text.
function(read_le hex offset bytes out)
  set(value 0)
  math(EXPR last "${offset} + ${bytes} - 1")
  foreach(i RANGE ${last} ${offset} -1)
    math(EXPR at "${i} * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# The picture must be a 24-bit BMP of 510 x 437 pixels, the icon must hold
# 48, 32 and 16 pixel images: a build with anything else shows a distorted
# picture or a blurred icon. Each file a publisher names is checked; the
# default picture and icon are rendered while building.
function(setup_check_exists option file)
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "${option}: ${file} does not exist (a relative path is taken from the source folder, "
                        "${PROJECT_SOURCE_DIR})")
  endif()
endfunction()

function(setup_check_bitmap bitmap)
  setup_check_exists(SETUP_BITMAP "${bitmap}")
  file(READ "${bitmap}" bmp LIMIT 30 HEX)
  string(SUBSTRING "${bmp}" 0 4 magic)
  if(NOT magic STREQUAL "424d")
    message(FATAL_ERROR "SETUP_BITMAP: ${bitmap} is not a BMP file")
  endif()
  read_le("${bmp}" 18 4 width)
  read_le("${bmp}" 22 4 height)
  read_le("${bmp}" 28 2 bits)
  if(height GREATER 2147483647)
    math(EXPR height "4294967296 - ${height}")  # a top-down picture
  endif()
  if(NOT width EQUAL 510 OR NOT height EQUAL 437 OR NOT bits EQUAL 24)
    message(FATAL_ERROR "SETUP_BITMAP: ${bitmap} is ${width} x ${height} with ${bits} bits per pixel; the "
                        "dialog's picture must be 510 x 437 with 24 bits per pixel (the dialog stretches it "
                        "to its whole client area)")
  endif()
endfunction()

function(setup_check_icon icon)
  setup_check_exists(SETUP_ICON "${icon}")
  file(READ "${icon}" ico HEX)
  string(SUBSTRING "${ico}" 0 8 header)
  read_le("${ico}" 4 2 count)
  if(NOT header STREQUAL "00000100" OR count EQUAL 0)
    message(FATAL_ERROR "SETUP_ICON: ${icon} is not an icon file")
  endif()
  set(sizes "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE 0 ${last})
    math(EXPR at "6 + 16 * ${i}")
    read_le("${ico}" ${at} 1 size)
    if(size EQUAL 0)
      set(size 256)
    endif()
    list(APPEND sizes ${size})
  endforeach()
  list(REMOVE_DUPLICATES sizes)
  foreach(needed 48 32 16)
    if(NOT needed IN_LIST sizes)
      message(FATAL_ERROR "SETUP_ICON: ${icon} has images of ${sizes} pixels; it needs 48, 32 and 16")
    endif()
  endforeach()
endfunction()
