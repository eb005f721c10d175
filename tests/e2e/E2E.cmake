# End-to-end tests: the test program drives the real Setup.exe of this build
# under Wine on a virtual display; the 32-bit one runs as on 64-bit Windows
# (WOW64). All of a build's tests share one Wine prefix and one display.
#
# Programs that must be of the same kind as Setup.exe are built here: the
# DLL the planting test leaves beside it, and the bare windows it is timed
# against. The test program itself is 64-bit (tests/e2e/CMakeLists.txt).
set(helpers ${CMAKE_BINARY_DIR}/e2e-helpers)
add_library(planted SHARED tests/e2e/PlantedDll.cpp)
set_target_properties(planted PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${helpers} RUNTIME_OUTPUT_DIRECTORY ${helpers})
target_compile_definitions(planted PRIVATE UNICODE _UNICODE)
target_compile_options(planted PRIVATE -fno-exceptions)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  target_link_options(planted PRIVATE -nostdlib -Wl,-e,DllMain)
else()
  target_link_options(planted PRIVATE -nostdlib -Wl,-e,_DllMain@12)
endif()
target_link_libraries(planted PRIVATE kernel32)

# The yardsticks of scripts/bench-start: a bare window, and the same with
# Setup.exe's manifest (visual styles and DPI awareness).
add_executable(bare_window WIN32 tests/e2e/BareWindow.cpp)
file(WRITE ${CMAKE_BINARY_DIR}/BareWindowStyled.rc
     "#include <winuser.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"${CMAKE_BINARY_DIR}/assets/Setup.manifest\"\n")
add_executable(bare_window_styled WIN32 tests/e2e/BareWindow.cpp ${CMAKE_BINARY_DIR}/BareWindowStyled.rc)
target_compile_definitions(bare_window_styled PRIVATE STYLED)
target_link_libraries(bare_window_styled PRIVATE comctl32)
foreach(bare bare_window bare_window_styled)
  target_compile_definitions(${bare} PRIVATE UNICODE _UNICODE)
  target_link_options(${bare} PRIVATE -static -municode)
  set_target_properties(${bare} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${helpers})
endforeach()

# Stand-in driver images with a version resource, for the version and
# processor cases: x64 ones at two versions (the second also with a version
# resource over 32 KB) and an x86 one, whichever the program's own processor.
set(stand_in_drivers)
foreach(image "x86_64;1,0,0,0;x64-1;DriverEntry" "x86_64;2,0,0,5;x64-2;DriverEntry" "i686;1,0,0,0;x86-1;_DriverEntry@8"
              "x86_64;2,0,0,5;x64-2big;DriverEntry;-DBIG_VERSION")
  list(GET image 0 arch)
  list(GET image 1 version)
  list(GET image 2 name)
  list(GET image 3 entry)
  set(big)
  list(LENGTH image fields)
  if(fields GREATER 4)
    list(GET image 4 big)
  endif()
  set(object ${CMAKE_BINARY_DIR}/stand-in-${name}.o)
  add_custom_command(OUTPUT ${helpers}/driver-${name}.sys
    COMMAND ${arch}-w64-mingw32-windres -DDRIVER_VERSION=${version} ${big} ${CMAKE_CURRENT_LIST_DIR}/StandInDriver.rc -O coff -o ${object}
    COMMAND ${arch}-w64-mingw32-gcc -nostdlib -shared -Wl,--subsystem,native -Wl,-e,${entry} -s
            -o ${helpers}/driver-${name}.sys ${CMAKE_CURRENT_LIST_DIR}/StandInDriver.c ${object}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/StandInDriver.c ${CMAKE_CURRENT_LIST_DIR}/StandInDriver.rc
    VERBATIM)
  list(APPEND stand_in_drivers ${helpers}/driver-${name}.sys)
endforeach()
add_custom_target(stand_in_drivers ALL DEPENDS ${stand_in_drivers})

if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
  message(WARNING "No GoogleTest sources in /usr/src/googletest (libgtest-dev): no end-to-end tests")
  return()
endif()

include(ExternalProject)
# The test program is the same for both Windows builds, so they share one
# build of it beside theirs (build/e2e-driver for the presets): the second
# build finds it made. Build one preset at a time.
get_filename_component(build_root ${CMAKE_BINARY_DIR} DIRECTORY)
set(driver_dir ${build_root}/e2e-driver)
ExternalProject_Add(setup_e2e_driver
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${driver_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DSETUP_TARGET_ARCH=x86_64
             -DSETUP_THREAD_MODEL=posix -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)

set(state ${CMAKE_BINARY_DIR}/e2e)
set(session ${CMAKE_CURRENT_LIST_DIR}/session)
add_test(NAME e2e_session_start COMMAND ${session} start ${state} unmanaged)
add_test(NAME e2e_session_stop COMMAND ${session} stop ${state})
set_tests_properties(e2e_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(e2e_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# The 32-bit program's tests run only where Wine can run it; elsewhere they
# are skipped (exit code 77) and say why.
set(run)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(run ${CMAKE_CURRENT_LIST_DIR}/needs-32bit)
endif()

# setup_add_e2e(<suite> <locale>): the suite's tests under that locale.
function(setup_add_e2e suite locale)
  setup_add_test(NAME e2e_${suite}
    COMMAND ${run} ${CMAKE_CROSSCOMPILING_EMULATOR} ${driver_dir}/setup_e2e.exe
            --setup=$<TARGET_FILE:Setup> --faulty=$<TARGET_FILE:SetupFaults>
            --planted=$<TARGET_FILE:planted> --drivers=${helpers} --banner=${SETUP_BANNER_PIXELS}
            --branded=$<TARGET_FILE:SetupBranded> --branded-banner=${CMAKE_BINARY_DIR}/branded/banner.bgr
            --gtest_filter=${suite}.*
    ENVIRONMENT SETUP_E2E_STATE=${state} LC_ALL=${locale}
    FIXTURES wine)
  # One at a time in the prefix; tests of other prefixes (the package
  # test's checker) run beside them.
  set_tests_properties(e2e_${suite} PROPERTIES RESOURCE_LOCK e2e_prefix SKIP_RETURN_CODE 77)
endfunction()

setup_add_e2e(English en_US.UTF-8)
setup_add_e2e(ZhCN zh_CN.UTF-8)
setup_add_e2e(ZhTW zh_TW.UTF-8)
setup_add_e2e(ZhHK zh_HK.UTF-8)
setup_add_e2e(Installing en_US.UTF-8)
setup_add_e2e(Recovering en_US.UTF-8)
setup_add_e2e(Slow en_US.UTF-8)
setup_add_e2e(HighDpi en_US.UTF-8)
setup_add_e2e(DoubleDpi en_US.UTF-8)
setup_add_e2e(DriverChecks en_US.UTF-8)  # versions, processors, a moment's lock
if(run)
  setup_add_e2e(Wow64 en_US.UTF-8)  # what only a 32-bit program on 64-bit Windows meets
endif()

# SetupCheck.exe on real GBK, Big5, UTF-8 and UTF-16 files, under the
# locales whose code pages they are in.
setup_add_test(NAME e2e_SetupCheck
  COMMAND ${run} ${CMAKE_CURRENT_LIST_DIR}/check-ini-test ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:SetupCheck>
  ENVIRONMENT SETUP_E2E_STATE=${state}
  FIXTURES wine)
set_tests_properties(e2e_SetupCheck PROPERTIES RESOURCE_LOCK e2e_prefix SKIP_RETURN_CODE 77)

# The 32-bit program on 32-bit Windows: a prefix of its own, and a 32-bit
# build of the test program, which 32-bit Windows runs.
if(run)
  set(driver32_dir ${build_root}/e2e-driver32)
  ExternalProject_Add(setup_e2e_driver32
    SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
    BINARY_DIR ${driver32_dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DSETUP_TARGET_ARCH=i686
               -DSETUP_THREAD_MODEL=posix -DCMAKE_BUILD_TYPE=Release -DSETUP_E2E_ONLY=ON
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  set(state32 ${CMAKE_BINARY_DIR}/e2e-win32)
  add_test(NAME e2e_win32_session_start COMMAND ${run} ${session} start ${state32} unmanaged win32)
  add_test(NAME e2e_win32_session_stop COMMAND ${session} stop ${state32})
  set_tests_properties(e2e_win32_session_start PROPERTIES FIXTURES_SETUP wine32 TIMEOUT 300 SKIP_RETURN_CODE 77)
  set_tests_properties(e2e_win32_session_stop PROPERTIES FIXTURES_CLEANUP wine32)
  setup_add_test(NAME e2e_Win32
    COMMAND ${run} ${CMAKE_CROSSCOMPILING_EMULATOR} ${driver32_dir}/setup_e2e.exe
            --setup=$<TARGET_FILE:Setup> --drivers=${helpers}
            --gtest_filter=DriverChecks.TheDriverForThisWindowsProcessorIsInstalled
    ENVIRONMENT SETUP_E2E_STATE=${state32} LC_ALL=en_US.UTF-8
    FIXTURES wine32)
  set_tests_properties(e2e_Win32 PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
endif()

# SetupCheck.exe on driver packages the test makes: catalogs of their
# files' digests, signed and not, and packages broken in one way each.
setup_add_test(NAME e2e_Check
  COMMAND ${run} ${CMAKE_CURRENT_LIST_DIR}/check-test ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:SetupCheck>
          ${helpers} ${CMAKE_SOURCE_DIR}
  ENVIRONMENT SETUP_E2E_STATE=${state}
  FIXTURES wine)
set_tests_properties(e2e_Check PROPERTIES RESOURCE_LOCK e2e_prefix SKIP_RETURN_CODE 77)

setup_add_test(NAME e2e_FullDisk
  COMMAND ${run} ${CMAKE_CURRENT_LIST_DIR}/full-disk ${CMAKE_CROSSCOMPILING_EMULATOR} ${driver_dir}/setup_e2e.exe
          $<TARGET_FILE:Setup>
  ENVIRONMENT SETUP_E2E_STATE=${state} LC_ALL=en_US.UTF-8
  FIXTURES wine)
set_tests_properties(e2e_FullDisk PROPERTIES RUN_SERIAL TRUE SKIP_RETURN_CODE 77)
