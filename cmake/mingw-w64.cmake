# Cross-builds Setup.exe with MinGW-w64. SETUP_TARGET_ARCH is x86_64 or i686
# (set by the presets); programs built for the tests run under Wine.
if(NOT SETUP_TARGET_ARCH)
  set(SETUP_TARGET_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${SETUP_TARGET_ARCH})
set(_prefix ${SETUP_TARGET_ARCH}-w64-mingw32)
# Setup.exe is built with the win32 thread model, which links no thread
# library. The end-to-end test program is a build of its own with the POSIX
# model (SETUP_THREAD_MODEL=posix): GoogleTest needs std::mutex.
if(NOT SETUP_THREAD_MODEL)
  set(SETUP_THREAD_MODEL win32)
endif()
set(CMAKE_C_COMPILER ${_prefix}-gcc-${SETUP_THREAD_MODEL})
set(CMAKE_CXX_COMPILER ${_prefix}-g++-${SETUP_THREAD_MODEL})
set(CMAKE_RC_COMPILER ${_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
