# The project's own CMake functions.

# Every target of the project compiles with warnings on and treats none as
# noise. Program code spells out every conversion of 8-bit strings; tests,
# full of literal data, may pass RELAXED_STRINGS.
function(letterloom_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive-)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
            -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
            -Wconversion -Wno-sign-conversion)
    endif()
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
        QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
    if(NOT "RELAXED_STRINGS" IN_LIST ARGN)
        target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII)
    endif()
endfunction()

# letterloom_library(<folder> [USES <libraries>...]): the static library
# letterloom_<folder> of one folder of the program. Its headers are included
# as "<folder>/name.h" through an include root of its own, which holds that
# folder alone; a library sees the folders of the libraries it uses and no
# others, so an include against the direction of the layers does not build.
function(letterloom_library folder)
    cmake_parse_arguments(ARG "" "" "USES" ${ARGN})
    set(target letterloom_${folder})
    add_library(${target} STATIC)
    set(root ${CMAKE_BINARY_DIR}/include-roots/${folder})
    if(NOT IS_SYMLINK ${root}/${folder})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC RESULT failed)
        if(failed)
            message(FATAL_ERROR "Could not link ${root}/${folder} to ${CMAKE_CURRENT_SOURCE_DIR}: ${failed}")
        endif()
    endif()
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${ARG_USES})
    letterloom_warnings(${target})
endfunction()
