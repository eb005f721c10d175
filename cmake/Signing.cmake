# Signing: with SETUP_SIGN_PFX (a PKCS#12 file of the vendor's code-signing
# certificate) the build signs Setup.exe with Authenticode, SHA-256, right
# after it is linked and stripped, so that nothing changes it afterwards.
# The password comes from the environment variable SETUP_SIGN_PASSWORD when
# the build runs; SETUP_SIGN_TIMESTAMP may name an RFC 3161 time-stamp
# server. An unsigned program that asks for administrator rights shows
# "Unknown publisher" and a SmartScreen warning.
set(SETUP_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file to sign Setup.exe with (empty: not signed)")
set(SETUP_SIGN_TIMESTAMP "" CACHE STRING "RFC 3161 time-stamp server for the signature")

# setup_sign(<target> <pfx> [PASSWORD <password>]): signs the target after
# each link. PASSWORD is for the tests' throw-away certificate only.
function(setup_sign target pfx)
  cmake_parse_arguments(S "" "PASSWORD" "" ${ARGN})
  find_program(SETUP_OSSLSIGNCODE NAMES osslsigncode REQUIRED)
  get_filename_component(pfx "${pfx}" ABSOLUTE)
  set(command ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/sign-program $<TARGET_FILE:${target}> ${pfx}
              "${SETUP_PRODUCT} Setup" ${SETUP_SIGN_TIMESTAMP})
  if(DEFINED S_PASSWORD)
    set(command ${CMAKE_COMMAND} -E env SETUP_SIGN_PASSWORD=${S_PASSWORD} ${command})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD COMMAND ${command} COMMENT "Signing ${target}" VERBATIM)
endfunction()
