# Makes the operator's guide page: the Markdown SOURCE through CMARK (tables on) into the page
# template PAGE, written to OUT_DIR/index.html, with the pictures the page shows copied beside it
# from SOURCE's folder. Pictures left there by an earlier guide that no longer shows them go.
# Usage: cmake -DCMARK=cmark-gfm -DSOURCE=guide.md -DPAGE=page.html.in -DOUT_DIR=dir -P make_guide.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var CMARK SOURCE PAGE OUT_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "make_guide: ${var} is not given")
    endif()
endforeach()

execute_process(COMMAND ${CMARK} --extension table --to html ${SOURCE}
                OUTPUT_VARIABLE GUIDE_BODY ERROR_VARIABLE errors RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "make_guide: ${CMARK} failed on ${SOURCE} (${rc}): ${errors}")
endif()

file(READ ${PAGE} page)
# One pass: nothing in the body is taken for a variable.
string(CONFIGURE "${page}" page @ONLY)
file(MAKE_DIRECTORY ${OUT_DIR})

get_filename_component(source_dir ${SOURCE} DIRECTORY)
string(REGEX MATCHALL "<img src=\"[^\"]+\"" images "${GUIDE_BODY}")
set(shown "")
foreach(image IN LISTS images)
    string(REGEX REPLACE "^<img src=\"([^\"]+)\"$" "\\1" name "${image}")
    if(name MATCHES "^[a-z]+:" OR name MATCHES "/")
        message(FATAL_ERROR "make_guide: ${SOURCE} shows ${name}; the guide shows only pictures of its own folder")
    endif()
    if(NOT EXISTS ${source_dir}/${name})
        message(FATAL_ERROR "make_guide: ${SOURCE} shows ${name}, which is not in ${source_dir}")
    endif()
    file(COPY_FILE ${source_dir}/${name} ${OUT_DIR}/${name} ONLY_IF_DIFFERENT)
    list(APPEND shown ${name})
endforeach()
file(GLOB present RELATIVE ${OUT_DIR} ${OUT_DIR}/*)
foreach(name IN LISTS present)
    if(NOT name STREQUAL "index.html" AND NOT name IN_LIST shown)
        file(REMOVE_RECURSE ${OUT_DIR}/${name})
    endif()
endforeach()

# Written last and whole, so a failure above leaves no page that looks made.
file(WRITE ${OUT_DIR}/index.html.part "${page}")
file(RENAME ${OUT_DIR}/index.html.part ${OUT_DIR}/index.html)
