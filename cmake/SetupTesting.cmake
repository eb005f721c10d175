# setup_add_test(NAME <name> COMMAND <command...>
#                [ENVIRONMENT <VAR=value...>] [FIXTURES <fixture...>] [TIMEOUT <s>])
# Adds one test; targets named in COMMAND run under the cross-compiling
# emulator (Wine) in the Windows builds.
function(setup_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT;FIXTURES" ${ARGN})
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_FIXTURES)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
endfunction()
