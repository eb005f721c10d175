# The banner: any picture ImageMagick reads (SETUP_BANNER), cut to the
# banner's shape at twice its 96 DPI size, 326 x 568 pixels, and packed the
# way the program stores pictures (assets/pack-picture.py). The build folder
# keeps the pixels as well (assets/banner.bgr), for the tests to compare with
# what the screen shows.
set(SETUP_BANNER ${CMAKE_CURRENT_LIST_DIR}/../assets/banner.png CACHE FILEPATH "The banner picture")
find_program(SETUP_IMAGEMAGICK NAMES convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(SETUP_BANNER_WIDTH 326)
set(SETUP_BANNER_HEIGHT 568)
set(SETUP_BANNER_PIXELS ${CMAKE_BINARY_DIR}/assets/banner.bgr)

# setup_embed_banner(<target>): the target's resource script finds
# banner.bnr in its include path.
function(setup_embed_banner target)
  set(dir ${CMAKE_BINARY_DIR}/assets)
  set(size ${SETUP_BANNER_WIDTH}x${SETUP_BANNER_HEIGHT})
  get_filename_component(source_dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
  if(NOT TARGET setup_banner)
    add_custom_command(OUTPUT ${dir}/banner.bnr ${SETUP_BANNER_PIXELS}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${SETUP_IMAGEMAGICK} ${SETUP_BANNER} -background white -alpha remove -resize ${size}^
              -gravity center -extent ${size} -depth 8 bgr:${SETUP_BANNER_PIXELS}
      COMMAND ${Python3_EXECUTABLE} ${source_dir}/assets/pack-picture.py ${SETUP_BANNER_PIXELS}
              ${SETUP_BANNER_WIDTH} ${SETUP_BANNER_HEIGHT} ${dir}/banner.bnr
      DEPENDS ${SETUP_BANNER} ${source_dir}/assets/pack-picture.py
      COMMENT "Packing the banner ${SETUP_BANNER}"
      VERBATIM)
    add_custom_target(setup_banner DEPENDS ${dir}/banner.bnr)
  endif()
  add_dependencies(${target} setup_banner)
  target_include_directories(${target} PRIVATE ${dir})
  set_property(SOURCE ${source_dir}/assets/Setup.rc APPEND PROPERTY OBJECT_DEPENDS ${dir}/banner.bnr)
endfunction()
