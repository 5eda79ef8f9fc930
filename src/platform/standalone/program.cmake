# The stand-alone program ruvo-linklens: the FLTK window on top of the SQLite
# registry stand-in and drive C: in a folder.
#
# This file has two uses. Included from CMakeLists.txt it defines the program.
# Run as a script (cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -P program.cmake) it
# turns one image file into a C++ byte array, so that the program carries its
# images and needs no data files beside it.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "${INPUT} is empty")
  endif()
  # Sixteen bytes a line.
  set(bytes "")
  math(EXPR last "${digits} - 1")
  foreach(offset RANGE 0 ${last} 32)
    string(SUBSTRING "${hex}" ${offset} 32 chunk)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," chunk "${chunk}")
    string(APPEND bytes "    ${chunk}\n")
  endforeach()
  get_filename_component(name "${INPUT}" NAME)
  file(WRITE "${OUTPUT}.new"
       "// Generated at build time from ${name}; do not edit.\n"
       "#include \"platform/standalone/fltk/images.h\"\n\n"
       "namespace ruvo::fltk {\n\n"
       "const unsigned char ${SYMBOL}[] = {\n${bytes}};\n"
       "const std::size_t ${SYMBOL}Size = sizeof ${SYMBOL};\n\n"
       "}  // namespace ruvo::fltk\n")
  file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.new")
  return()
endif()

# Debian's FLTKConfig.cmake names files the package does not ship, so CMake's
# find_package(FLTK) fails there; look for the headers and libraries directly.
find_path(RUVO_FLTK_INCLUDE_DIR FL/Fl.H)
find_library(RUVO_FLTK_LIBRARY fltk)
find_library(RUVO_FLTK_IMAGES_LIBRARY fltk_images)
find_package(X11 REQUIRED)
if(NOT RUVO_FLTK_INCLUDE_DIR OR NOT RUVO_FLTK_LIBRARY OR NOT RUVO_FLTK_IMAGES_LIBRARY)
  message(FATAL_ERROR "FLTK 1.3 was not found: install libfltk1.3-dev (scripts/setup does).")
endif()
add_library(ruvo_fltk INTERFACE)
target_include_directories(ruvo_fltk SYSTEM INTERFACE ${RUVO_FLTK_INCLUDE_DIR} ${X11_INCLUDE_DIR})
target_link_libraries(ruvo_fltk INTERFACE ${RUVO_FLTK_IMAGES_LIBRARY} ${RUVO_FLTK_LIBRARY}
                      ${X11_LIBRARIES})

# The banner and the window icon, as byte arrays compiled into the program.
set(ruvo_embedded_sources)
foreach(image IN ITEMS "kBannerJpeg|${RUVO_BANNER_JPEG}" "kPackagePng|${RUVO_PACKAGE_PNG}")
  string(REPLACE "|" ";" parts "${image}")
  list(GET parts 0 symbol)
  list(GET parts 1 input)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/generated/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS ${input} ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Embedding ${input}"
    VERBATIM)
  list(APPEND ruvo_embedded_sources ${output})
endforeach()

add_executable(ruvo-linklens
  main.cpp
  fltk/images.cpp
  fltk/look.cpp
  fltk/user_interface.cpp
  fltk/widgets.cpp
  fltk/main_window.cpp
  ${ruvo_embedded_sources}
)
target_include_directories(ruvo-linklens PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ruvo-linklens PRIVATE ruvo_standalone_backend ruvo_logic ruvo_fltk
                      ruvo_warnings)
