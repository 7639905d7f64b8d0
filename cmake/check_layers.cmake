# Fails when a source includes a folder above its own layer:
#   support <- timing <- picture <- {recording, capture, startswitch, events} <- review <- results
#   <- app <- tools
# Folders of one layer do not include each other; a core file never includes a ui/ header, and a
# core file never names a device back end of its own folder (back ends are registered from above).
# Usage: cmake -DROOT=<tree holding src/ and tools/> -P check_layers.cmake
if(NOT ROOT)
    message(FATAL_ERROR "check_layers: pass -DROOT=<source tree>")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/device_sources.cmake)

set(rank_support 0)
set(rank_timing 1)
set(rank_picture 2)
set(rank_recording 3)
set(rank_capture 3)
set(rank_startswitch 3)
set(rank_events 3)
set(rank_review 4)
set(rank_results 5)
set(rank_app 6)
set(rank_tools 7)

# The top folder of a path relative to src/ or the tree ("tools" for tools/...).
function(top_folder path out)
    string(REGEX REPLACE "^src/" "" rest "${path}")
    string(REGEX MATCH "^[^/]+" top "${rest}")
    set(${out} "${top}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/src/*.cpp" "${ROOT}/src/*.h" "${ROOT}/tools/*.cpp"
     "${ROOT}/tools/*.h")
set(faults "")
foreach(source IN LISTS sources)
    top_folder("${source}" own)
    if(NOT DEFINED rank_${own})
        list(APPEND faults "${source}: folder '${own}' has no layer")
        continue()
    endif()
    set(own_is_core TRUE)
    # The lists that register back ends may name them, as main.cpp may name everything.
    if(source MATCHES "/(ui|backends)/" OR source MATCHES "^src/app/main\\.cpp$|${VELTRO_DEVICE_SOURCES_REGEX}")
        set(own_is_core FALSE)
    endif()
    file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
        string(REGEX MATCH "\"([^\"]+)\"" _ "${line}")
        set(target "${CMAKE_MATCH_1}")
        if(NOT target MATCHES "/")
            continue() # the generated version header or a header beside the file
        endif()
        top_folder("${target}" theirs)
        if(NOT DEFINED rank_${theirs})
            continue() # not a project folder
        endif()
        if(rank_${theirs} GREATER rank_${own})
            list(APPEND faults "${source}: includes ${target}, a layer above ${own}")
        elseif(rank_${theirs} EQUAL rank_${own} AND NOT theirs STREQUAL own)
            list(APPEND faults "${source}: includes ${target}; ${own} and ${theirs} are one layer")
        elseif(own_is_core AND target MATCHES "/ui/")
            list(APPEND faults "${source}: core file includes the window header ${target}")
        elseif(own_is_core AND theirs STREQUAL own AND target MATCHES "/backends/")
            list(APPEND faults "${source}: core file names the back end ${target}")
        endif()
    endforeach()
endforeach()

if(faults)
    # One line each, unwrapped, so that a reader (and the test of this check) can match them.
    list(JOIN faults "\n" text)
    message(NOTICE "Includes that point up:\n${text}")
    list(LENGTH faults count)
    message(FATAL_ERROR "check_layers: ${count} includes point up")
endif()
list(LENGTH sources count)
message(STATUS "check_layers: ${count} files, every include points down")
