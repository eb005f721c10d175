cmake_minimum_required(VERSION 3.20)
# Checks a built program as a file: small, importing only DLLs that Windows
# always loads from System32, with its manifest and hardening flags.
# Run as: cmake -DEXE=... -DOBJDUMP=... [-DKIND=console] -P CheckBinary.cmake
# With -DPYTHON=... -DPRODUCT=... -DCOMPANY=... -DVERSION=a.b.c.d
# [-DICON_SIZES=16,24,...] [-DICONS=16:4-bit,...,256:PNG] [-DICON_BYTES_UNDER=n]
# [-DBANNER=packed.bnr] [-DMESSAGE_TITLE=...] [-DCOPYRIGHT=...], it also reads
# the version resource, the icon and the banner back (check-resources.py)
# and holds them to the values the build was given.
#   KIND gui (the default): Setup.exe, a GUI program that asks for
#     administrator rights, with visual styles and per-monitor DPI.
#   KIND console: SetupCheck.exe, a console program that runs with the
#     rights it is given (its name holds "Setup", so without saying so it
#     would be taken for an installer) and keeps the system's ANSI code page;
#     it measures texts with the system's own text layout (USER32, GDI32).
# The program with the example pictures stays under 304 KB (it was 256 KB
# until the install learned to read driver versions and INF files and to
# guard against an earlier run's restart work, 288 KB until it learned the
# processor folders of real packages and to take back a refused one); a
# vendor's pictures (-DVENDOR_PICTURES=ON) add what they take, so there only
# the rest, the code and its data, is held to 240 KB.
set(max_bytes 311296)
set(max_code_bytes 245760)
if(NOT KIND)
  set(KIND gui)
endif()
if(KIND STREQUAL "console")
  # SetupCheck.exe, the vendor's tool, not shipped: it reads catalogs with
  # the system's cryptography and hashes files, and is held to 480 KB.
  set(allowed_dlls KERNEL32.dll USER32.dll GDI32.dll msvcrt.dll WINTRUST.dll CRYPT32.dll)
  set(max_bytes 491520)
  set(max_code_bytes 491520)
  set(subsystem 00000003)
  set(manifest_texts asInvoker)
  set(forbidden_texts requireAdministrator activeCodePage)
else()
  set(allowed_dlls KERNEL32.dll USER32.dll GDI32.dll msvcrt.dll)
  set(subsystem 00000002)
  set(manifest_texts requireAdministrator Microsoft.Windows.Common-Controls PerMonitorV2)
  set(forbidden_texts)
endif()
# Functions that Windows 7 lacks (or lacks without an update) and that the
# program looks up at run time: as imports they would stop it from starting.
set(late_functions SetDefaultDllDirectories GetDpiForWindow AdjustWindowRectExForDpi
    SystemParametersInfoForDpi GetDpiForMonitor IsWow64Process Wow64DisableWow64FsRedirection
    Wow64RevertWow64FsRedirection RtlDecompressBuffer InitCommonControlsEx SetupCopyOEMInfW IsWow64Process2
    GetDpiForSystem ShutdownBlockReasonCreate ShutdownBlockReasonDestroy)

file(SIZE "${EXE}" size)
set(problems "")
if(size GREATER_EQUAL max_bytes AND NOT VENDOR_PICTURES)
  list(APPEND problems "is ${size} bytes, not under ${max_bytes}")
endif()
execute_process(COMMAND "${OBJDUMP}" -h "${EXE}" OUTPUT_VARIABLE sections)
set(resource_bytes 0)
if(sections MATCHES "\\.rsrc +([0-9a-f]+)")
  math(EXPR resource_bytes "0x${CMAKE_MATCH_1}")
endif()
math(EXPR code_bytes "${size} - ${resource_bytes}")
if(code_bytes GREATER_EQUAL max_code_bytes)
  list(APPEND problems "takes ${code_bytes} bytes besides its resources, not under ${max_code_bytes}")
endif()

execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  list(APPEND problems "imports nothing, which cannot be right")
endif()
foreach(line IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${line}")
  if(NOT dll IN_LIST allowed_dlls)
    list(APPEND problems "imports ${dll}")
  endif()
endforeach()
foreach(function IN LISTS late_functions)
  if(headers MATCHES "[ \t]${function}\n")
    list(APPEND problems "imports ${function}, which it must look up at run time")
  endif()
endforeach()
if(NOT headers MATCHES "Subsystem[ \t]+${subsystem}")
  list(APPEND problems "is not a ${KIND} program")
endif()
# TERMINAL_SERVICE_AWARE: on a Terminal Services host Windows would
# otherwise give the program a per-user Windows folder.
foreach(flag NX_COMPAT DYNAMIC_BASE TERMINAL_SERVICE_AWARE)
  if(NOT headers MATCHES "${flag}")
    list(APPEND problems "lacks ${flag}")
  endif()
endforeach()

file(READ "${EXE}" contents HEX)
foreach(text IN LISTS manifest_texts)
  string(HEX "${text}" hex)
  string(FIND "${contents}" "${hex}" at)
  if(at EQUAL -1)
    list(APPEND problems "has no '${text}' in its manifest")
  endif()
endforeach()
foreach(text IN LISTS forbidden_texts)
  string(HEX "${text}" hex)
  string(FIND "${contents}" "${hex}" at)
  if(NOT at EQUAL -1)
    list(APPEND problems "has '${text}' in it")
  endif()
endforeach()

if(DEFINED VERSION)
  execute_process(COMMAND "${PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/check-resources.py" "${EXE}"
                  OUTPUT_VARIABLE resources RESULT_VARIABLE failed)
  if(failed)
    list(APPEND problems "has resources that could not be read")
  endif()
  set(expected "FixedFileVersion=${VERSION}" "FixedProductVersion=${VERSION}" "FileVersion=${VERSION}"
      "ProductVersion=${VERSION}" "ProductName=${PRODUCT}" "CompanyName=${COMPANY}"
      "FileDescription=${PRODUCT} Setup" "OriginalFilename=Setup.exe")
  if(DEFINED ICON_SIZES)
    list(APPEND expected "IconSizes=${ICON_SIZES}")
  endif()
  if(DEFINED ICONS)
    list(APPEND expected "Icons=${ICONS}")
  endif()
  if(DEFINED BANNER)
    file(SHA256 "${BANNER}" banner_sum)
    list(APPEND expected "Banner=${banner_sum}")
  endif()
  if(DEFINED MESSAGE_TITLE)
    list(APPEND expected "MessageTitle=${MESSAGE_TITLE}")
  endif()
  if(DEFINED COPYRIGHT)
    list(APPEND expected "LegalCopyright=${COPYRIGHT}")
  endif()
  string(REPLACE "\n" ";" lines "${resources}")
  foreach(line IN LISTS expected)
    if(NOT line IN_LIST lines)
      list(APPEND problems "has no '${line}' in its resources")
    endif()
  endforeach()
  string(REGEX MATCH "IconBytes=([0-9]+)" icon_bytes "${resources}")
  if(DEFINED ICON_BYTES_UNDER AND NOT CMAKE_MATCH_1 LESS ICON_BYTES_UNDER)
    list(APPEND problems "has icon images of ${CMAKE_MATCH_1} bytes, not under ${ICON_BYTES_UNDER}")
  endif()
  set(icon_note ", its icon images ${CMAKE_MATCH_1}")
endif()

if(problems)
  list(JOIN problems "; " text)
  message(FATAL_ERROR "${EXE} ${text}")
endif()
message(STATUS "${EXE}: ${size} bytes, ${code_bytes} besides its resources${icon_note}, imports ${imports}")
