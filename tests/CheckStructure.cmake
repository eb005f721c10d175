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
# forbid(<what is wrong> <regex of the lines> [EXCEPT <regex of allowed lines>] FILES <files...>)
function(forbid what regex)
  cmake_parse_arguments(F "" "EXCEPT" "FILES" ${ARGN})
  foreach(file ${F_FILES})
    file(STRINGS ${SOURCE}/${file} lines REGEX "${regex}")
    if(F_EXCEPT)
      list(FILTER lines EXCLUDE REGEX "${F_EXCEPT}")
    endif()
    if(lines)
      list(APPEND problems "${file} ${what}: ${lines}")
    endif()
  endforeach()
  set(problems ${problems} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE portable RELATIVE ${SOURCE} ${SOURCE}/app/* ${SOURCE}/check/* ${SOURCE}/install/*
     ${SOURCE}/text/* ${SOURCE}/assets/*.h ${SOURCE}/assets/*.cpp)
forbid("includes a Windows header"
       "^#include <(windows|winuser|winbase|setupapi|commctrl|shellscalingapi|winver)\\.h>" FILES ${portable})
file(GLOB platform RELATIVE ${SOURCE} ${SOURCE}/platform/*)
forbid("builds on the program's logic" "^#include \"(app|install)/"
       EXCEPT "\"(app/Form|app/Services|install/Services)\\.h\"" FILES ${platform})
list(FILTER platform EXCLUDE REGEX "platform/(WinLate\\.cpp|WinApi\\.h)$")
forbid("looks a function up itself (list it in platform/WinLate.h)" "GetProcAddress|LateFunction<" FILES ${platform})
file(GLOB text RELATIVE ${SOURCE} ${SOURCE}/text/*)
forbid("includes from platform/" "^#include \"platform/" FILES ${text})

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
