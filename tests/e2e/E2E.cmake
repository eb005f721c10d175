# End-to-end tests: the test program drives the real Setup.exe under Wine on
# a virtual display. All of them share one Wine prefix and one display.
#
# 32-bit programs cannot run on this machine (its kernel runs no 32-bit
# Linux programs, which 32-bit Wine needs), so only the 64-bit build runs
# them; the 32-bit build has its binary check and the native unit tests.
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  return()
endif()
if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
  message(WARNING "No GoogleTest sources in /usr/src/googletest (libgtest-dev): no end-to-end tests")
  return()
endif()

include(ExternalProject)
set(driver_dir ${CMAKE_BINARY_DIR}/e2e-driver)
ExternalProject_Add(setup_e2e_driver
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${driver_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DSETUP_TARGET_ARCH=${SETUP_TARGET_ARCH}
             -DSETUP_THREAD_MODEL=posix -DCMAKE_BUILD_TYPE=Release
             -DSETUP_MANIFEST=${CMAKE_BINARY_DIR}/assets/Setup.manifest
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

set(state ${CMAKE_BINARY_DIR}/e2e)
set(session ${CMAKE_CURRENT_LIST_DIR}/session)
add_test(NAME e2e_session_start COMMAND ${session} start ${state})
add_test(NAME e2e_session_stop COMMAND ${session} stop ${state})
set_tests_properties(e2e_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(e2e_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# setup_add_e2e(<suite> <locale>): the suite's tests under that locale.
function(setup_add_e2e suite locale)
  setup_add_test(NAME e2e_${suite}
    COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} ${driver_dir}/setup_e2e.exe
            --setup=$<TARGET_FILE:Setup> --faulty=$<TARGET_FILE:SetupFaults>
            --planted=${driver_dir}/planted.dll --banner=${SETUP_BANNER_PIXELS}
            --branded=$<TARGET_FILE:SetupBranded> --branded-banner=${CMAKE_BINARY_DIR}/branded/banner.bgr
            --gtest_filter=${suite}.*
    ENVIRONMENT SETUP_E2E_STATE=${state} LC_ALL=${locale}
    FIXTURES wine)
  set_tests_properties(e2e_${suite} PROPERTIES RUN_SERIAL TRUE)
endfunction()

setup_add_e2e(English en_US.UTF-8)
setup_add_e2e(ZhCN zh_CN.UTF-8)
setup_add_e2e(ZhTW zh_TW.UTF-8)
setup_add_e2e(ZhHK zh_HK.UTF-8)
setup_add_e2e(Installing en_US.UTF-8)
setup_add_e2e(Slow en_US.UTF-8)
setup_add_e2e(HighDpi en_US.UTF-8)
setup_add_e2e(DoubleDpi en_US.UTF-8)

# SetupCheck.exe on real GBK, Big5, UTF-8 and UTF-16 files, under the
# locales whose code pages they are in.
setup_add_test(NAME e2e_SetupCheck
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/check-ini-test ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:SetupCheck>
  ENVIRONMENT SETUP_E2E_STATE=${state}
  FIXTURES wine)

setup_add_test(NAME e2e_FullDisk
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/full-disk ${CMAKE_CROSSCOMPILING_EMULATOR} ${driver_dir}/setup_e2e.exe
          $<TARGET_FILE:Setup>
  ENVIRONMENT SETUP_E2E_STATE=${state} LC_ALL=en_US.UTF-8
  FIXTURES wine)
set_tests_properties(e2e_FullDisk PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
