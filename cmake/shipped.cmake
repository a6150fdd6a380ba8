# What ships, listed by the build that makes it: scripts/lint.sh lints (and
# checks for thread safety) exactly these files, and the README's layout is
# checked against them, so that none of the three can leave a folder out.
include_guard(GLOBAL)

# doruzeda_sources_of(out target...): the C and C++ sources compiled into the
# targets and into every library (and object library) they link, as absolute
# paths.
function(doruzeda_sources_of out)
    set(found "")
    foreach(target IN LISTS ARGN)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "INTERFACE_LIBRARY" OR target IN_LIST DORUZEDA_SEEN)
            continue()
        endif()
        list(APPEND DORUZEDA_SEEN ${target})
        get_target_property(folder ${target} SOURCE_DIR)
        get_target_property(sources ${target} SOURCES)
        get_target_property(linked ${target} LINK_LIBRARIES)
        foreach(source IN LISTS sources)
            if(source MATCHES "^\\$<TARGET_OBJECTS:(.+)>$")
                list(APPEND linked ${CMAKE_MATCH_1})
            elseif(source MATCHES "\\.(c|cpp)$")
                get_filename_component(source ${source} ABSOLUTE BASE_DIR ${folder})
                list(APPEND found ${source})
            endif()
        endforeach()
        set(libraries "")
        foreach(library IN LISTS linked)
            if(TARGET ${library})
                list(APPEND libraries ${library})
            endif()
        endforeach()
        if(libraries)
            doruzeda_sources_of(more ${libraries})
            list(APPEND found ${more})
        endif()
    endforeach()
    set(DORUZEDA_SEEN ${DORUZEDA_SEEN} PARENT_SCOPE)
    set(${out} ${found} PARENT_SCOPE)
endfunction()

# doruzeda_list_shipped([TARGETS target...] [FILES file...]): writes
# ${CMAKE_BINARY_DIR}/shipped-sources.txt: the sources of the targets
# (doruzeda_sources_of) and the files, one a line, relative to the top of the
# tree, sorted, once each.
function(doruzeda_list_shipped)
    cmake_parse_arguments(SHIPPED "" "" "TARGETS;FILES" ${ARGN})
    get_filename_component(top ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
    set(DORUZEDA_SEEN "")
    doruzeda_sources_of(sources ${SHIPPED_TARGETS})
    set(lines "")
    foreach(file IN LISTS sources SHIPPED_FILES)
        file(RELATIVE_PATH relative ${top} ${file})
        list(APPEND lines ${relative})
    endforeach()
    list(REMOVE_DUPLICATES lines)
    list(SORT lines)
    list(JOIN lines "\n" text)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/shipped-sources.txt CONTENT "${text}\n" @ONLY)
endfunction()
