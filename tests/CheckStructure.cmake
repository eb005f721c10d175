# Checks the layout of the source, which the compiler alone does not hold:
#   - only platform/ talks to Windows: no other source includes a Windows
#     header;
#   - platform/ implements the interfaces of the parts it serves and builds
#     on the shared vocabulary, never on the program's logic: of app/ and
#     install/ it includes their interfaces only (Form.h, Services.h);
#   - text/ includes nothing from platform/;
#   - no two parts of install/ include each other, one way each at most;
#   - every function looked up at run time is listed in platform/WinLate:
#     no other file calls GetProcAddress or LateFunction.
#   cmake -DSOURCE=<source dir> -P CheckStructure.cmake
cmake_minimum_required(VERSION 3.20)
set(problems "")
file(GLOB_RECURSE portable RELATIVE ${SOURCE} ${SOURCE}/app/* ${SOURCE}/check/* ${SOURCE}/install/*
     ${SOURCE}/text/* ${SOURCE}/assets/*.h ${SOURCE}/assets/*.cpp)
foreach(file ${portable})
  file(STRINGS ${SOURCE}/${file} lines REGEX "^#include <(windows|winuser|winbase|setupapi|commctrl|shellscalingapi|winver)\\.h>")
  if(lines)
    list(APPEND problems "${file} includes a Windows header: ${lines}")
  endif()
endforeach()

file(GLOB platform RELATIVE ${SOURCE} ${SOURCE}/platform/*)
foreach(file ${platform})
  file(STRINGS ${SOURCE}/${file} lines REGEX "^#include \"(app|install)/")
  list(FILTER lines EXCLUDE REGEX "\"(app/Form|app/Services|install/Services)\\.h\"")
  if(lines)
    list(APPEND problems "${file} builds on the program's logic: ${lines}")
  endif()
  file(STRINGS ${SOURCE}/${file} lines REGEX "GetProcAddress|LateFunction<")
  if(lines AND NOT file MATCHES "platform/(WinLate\\.cpp|WinApi\\.h)$")
    list(APPEND problems "${file} looks a function up itself (list it in platform/WinLate.h)")
  endif()
endforeach()

file(GLOB text RELATIVE ${SOURCE} ${SOURCE}/text/*)
foreach(file ${text})
  file(STRINGS ${SOURCE}/${file} lines REGEX "^#include \"platform/")
  if(lines)
    list(APPEND problems "${file} includes from platform/: ${lines}")
  endif()
endforeach()

file(GLOB install RELATIVE ${SOURCE}/install ${SOURCE}/install/*)
set(parts "")
foreach(file ${install})
  get_filename_component(part ${file} NAME_WE)
  list(APPEND parts ${part})
  file(STRINGS ${SOURCE}/install/${file} lines REGEX "^#include \"install/")
  foreach(line ${lines})
    string(REGEX REPLACE ".*\"install/([A-Za-z]+)\\.h\".*" "\\1" used "${line}")
    if(NOT used STREQUAL part)
      set(uses_${part} ${uses_${part}} ${used})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES parts)
foreach(a ${parts})
  foreach(b ${uses_${a}})
    if(a IN_LIST uses_${b})
      list(APPEND problems "install/${a} and install/${b} include each other")
    endif()
  endforeach()
endforeach()

if(problems)
  list(REMOVE_DUPLICATES problems)
  string(REPLACE ";" "\n  " text "${problems}")
  message(FATAL_ERROR "The source's layout:\n  ${text}")
endif()
message(STATUS "The source's layout holds")
