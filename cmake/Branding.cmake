# Branding: what makes Setup.exe a vendor's own, chosen when it is built.
#
#   SETUP_PRODUCT  product name: version resource, manifest, and the
#                  title of the message boxes (the example's
#                  product keeps "Setup" there)             (Acme USB Adapter)
#   SETUP_COMPANY  company name: version resource, manifest      (Acme)
#   SETUP_VERSION  1 to 4 numbers a.b.c.d, each 0 to 65535     (1.0.0)
#   SETUP_COPYRIGHT  the version resource's copyright line, as in
#                  "Copyright (C) 2026 Acme" (empty: none)          (empty)
#   SETUP_ICON     a .ico, or any picture ImageMagick reads: the icon holds
#                  the sizes Windows asks for from 100 to 200 % DPI, 16, 20,
#                  24, 32, 40, 48, 64 and 256 pixels, and no other. From a
#                  .ico, the images of those sizes as they are; a size it
#                  lacks made from its largest image. A picture's largest
#                  frame made into all eight. 256 px as PNG, the others as
#                  bitmaps                                   (assets/Setup.ico)
#   SETUP_BANNER   any picture ImageMagick reads, a .ico too: its largest
#                  image cut to the banner's shape at twice its 96 DPI size,
#                  326 x 568, and packed as the program stores pictures
#                  (assets/pack-picture.py)                  (assets/banner.png)
# assets/brand-picture.py makes both pictures and says what it took of each.
# The build folder keeps the banner's pixels as well (assets/banner.bgr),
# for the tests to compare with what the screen shows.
get_filename_component(SETUP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(SETUP_EXAMPLE_PRODUCT "Acme USB Adapter")
set(SETUP_PRODUCT "${SETUP_EXAMPLE_PRODUCT}" CACHE STRING "Product name of Setup.exe")
set(SETUP_COMPANY "Acme" CACHE STRING "Company name of Setup.exe")
set(SETUP_VERSION "1.0.0" CACHE STRING "Version of Setup.exe: 1 to 4 numbers a.b.c.d")
set(SETUP_COPYRIGHT "" CACHE STRING "Copyright line of Setup.exe's version resource (empty: none)")
set(SETUP_ICON ${SETUP_SOURCE_DIR}/assets/Setup.ico CACHE FILEPATH "Icon of Setup.exe: a .ico or a picture")
set(SETUP_BANNER ${SETUP_SOURCE_DIR}/assets/banner.png CACHE FILEPATH "Banner picture of Setup.exe")
find_program(SETUP_IMAGEMAGICK NAMES convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(SETUP_BANNER_PIXELS ${CMAKE_BINARY_DIR}/assets/banner.bgr)

# setup_version_numbers(<out> <version>): the four numbers of a version as a
# list; a fatal error for anything else.
function(setup_version_numbers out version)
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?(\\.[0-9]+)?$")
    message(FATAL_ERROR "SETUP_VERSION \"${version}\" is not 1 to 4 numbers a.b.c.d")
  endif()
  string(REPLACE "." ";" numbers "${version}")
  foreach(n IN LISTS numbers)
    if(n GREATER 65535)
      message(FATAL_ERROR "SETUP_VERSION \"${version}\": ${n} is over 65535")
    endif()
  endforeach()
  list(LENGTH numbers count)
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  set(${out} ${numbers} PARENT_SCOPE)
endfunction()

# setup_brand(<target> <folder> [PRODUCT p] [COMPANY c] [VERSION v] [COPYRIGHT c] [ICON f] [BANNER f])
# Makes the target's resources in <folder>: its resource script, manifest,
# icon and banner; each value missing takes the cache variable's. Targets
# given the same folder share its resources (the values of the first).
function(setup_brand target dir)
  cmake_parse_arguments(B "" "PRODUCT;COMPANY;VERSION;COPYRIGHT;ICON;BANNER" "" ${ARGN})
  string(MD5 key "${dir}")
  get_property(made GLOBAL PROPERTY SETUP_BRAND_${key})
  if(made)
    add_dependencies(${target} ${made})
    target_sources(${target} PRIVATE ${dir}/Setup.rc)
    return()
  endif()
  set_property(GLOBAL PROPERTY SETUP_BRAND_${key} ${target}_branding)
  foreach(field PRODUCT COMPANY VERSION COPYRIGHT ICON BANNER)
    if(NOT DEFINED B_${field})
      set(B_${field} "${SETUP_${field}}")
    endif()
  endforeach()
  get_filename_component(B_ICON "${B_ICON}" ABSOLUTE)
  get_filename_component(B_BANNER "${B_BANNER}" ABSOLUTE)
  foreach(picture ICON BANNER)
    if(NOT EXISTS "${B_${picture}}")
      message(FATAL_ERROR "SETUP_${picture}: there is no file ${B_${picture}}")
    endif()
  endforeach()
  file(MAKE_DIRECTORY ${dir})

  setup_version_numbers(numbers "${B_VERSION}")
  string(REPLACE ";" "." BRAND_VERSION "${numbers}")
  string(REPLACE ";" "," BRAND_VERSION_COMMAS "${numbers}")
  # A string of a resource script doubles its quotes; XML has entities.
  string(REPLACE "\"" "\"\"" BRAND_PRODUCT_RC "${B_PRODUCT}")
  string(REPLACE "\"" "\"\"" BRAND_COMPANY_RC "${B_COMPANY}")
  set(BRAND_COPYRIGHT_LINE "")
  if(NOT B_COPYRIGHT STREQUAL "")
    string(REPLACE "\"" "\"\"" copyright "${B_COPYRIGHT}")
    set(BRAND_COPYRIGHT_LINE "VALUE \"LegalCopyright\", \"${copyright}\"")
  endif()
  # A vendor's product names the message boxes; the example's keeps "Setup".
  set(BRAND_MESSAGE_TITLE_RC "Setup")
  if(NOT B_PRODUCT STREQUAL SETUP_EXAMPLE_PRODUCT)
    set(BRAND_MESSAGE_TITLE_RC "${BRAND_PRODUCT_RC}")
  endif()
  string(REPLACE "&" "&amp;" BRAND_PRODUCT_XML "${B_PRODUCT}")
  string(REPLACE "<" "&lt;" BRAND_PRODUCT_XML "${BRAND_PRODUCT_XML}")
  string(REPLACE ">" "&gt;" BRAND_PRODUCT_XML "${BRAND_PRODUCT_XML}")
  string(REPLACE "\"" "&quot;" BRAND_PRODUCT_XML "${BRAND_PRODUCT_XML}")
  # The manifest's identity takes letters, digits and dots only.
  string(REGEX REPLACE "[^A-Za-z0-9]+" "" company_name "${B_COMPANY}")
  string(REGEX REPLACE "[^A-Za-z0-9]+" "" product_name "${B_PRODUCT}")
  set(BRAND_IDENTITY "${company_name}.${product_name}.Setup")
  string(REGEX REPLACE "^\\.+|\\.+$" "" BRAND_IDENTITY "${BRAND_IDENTITY}")
  string(REGEX REPLACE "\\.\\.+" "." BRAND_IDENTITY "${BRAND_IDENTITY}")

  set(BRAND_DIR ${dir})
  set(BRAND_ICON ${dir}/Setup.ico)
  set(outputs ${dir}/banner.bnr ${BRAND_ICON})
  set(brand_picture ${Python3_EXECUTABLE} ${SETUP_SOURCE_DIR}/assets/brand-picture.py)
  add_custom_command(OUTPUT ${BRAND_ICON}
    COMMAND ${brand_picture} icon ${SETUP_IMAGEMAGICK} ${target} ${B_ICON} ${BRAND_ICON}
    DEPENDS ${B_ICON} ${SETUP_SOURCE_DIR}/assets/brand-picture.py
    COMMENT "Making the icon of ${target}"
    VERBATIM)
  set(size 326 568)
  add_custom_command(OUTPUT ${dir}/banner.bnr ${dir}/banner.bgr
    COMMAND ${brand_picture} banner ${SETUP_IMAGEMAGICK} ${target} ${B_BANNER} ${size} ${dir}/banner.bgr
    COMMAND ${Python3_EXECUTABLE} ${SETUP_SOURCE_DIR}/assets/pack-picture.py ${dir}/banner.bgr ${size}
            ${dir}/banner.bnr
    DEPENDS ${B_BANNER} ${SETUP_SOURCE_DIR}/assets/brand-picture.py ${SETUP_SOURCE_DIR}/assets/pack-picture.py
    COMMENT "Packing the banner of ${target}"
    VERBATIM)
  configure_file(${SETUP_SOURCE_DIR}/assets/Setup.manifest.in ${dir}/Setup.manifest @ONLY)
  configure_file(${SETUP_SOURCE_DIR}/assets/Setup.rc.in ${dir}/Setup.rc @ONLY)
  add_custom_target(${target}_branding DEPENDS ${outputs})
  add_dependencies(${target} ${target}_branding)
  target_sources(${target} PRIVATE ${dir}/Setup.rc)
  set_source_files_properties(${dir}/Setup.rc PROPERTIES OBJECT_DEPENDS
    "${outputs};${dir}/Setup.manifest;${SETUP_SOURCE_DIR}/assets/resource.h")
endfunction()
