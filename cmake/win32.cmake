# The Win32 build: Doruzeda_DO.dll, the stand-ins for the closed libraries,
# the host program and the tests that run under Wine.

# Every program and DLL in one folder, as a user deploys them: a DLL's
# load-time imports are looked up beside the program first.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# No runtime DLL of the toolchain at run time: every program and DLL of the
# build links the runtime statically.
set(DORUZEDA_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# doruzeda_win32_program(target source...): a program of this build, with the
# project's warnings and the static runtime.
function(doruzeda_win32_program target)
    add_executable(${target} ${ARGN})
    target_link_libraries(${target} PRIVATE doruzeda_warnings)
    target_link_options(${target} PRIVATE ${DORUZEDA_STATIC_RUNTIME})
endfunction()

# doruzeda_win32_dll(target name source...): a DLL of this build, name.dll,
# with the project's warnings and the static runtime, the latter without its
# registration of unwind tables at load (platform/win32/dll_runtime_win32.cpp:
# it would leave a thread and an event handle behind per load and unload).
#
# Without those tables no exception can be caught in the DLL: a throw ends the
# host at once, whatever catches it. So a DLL, and every library linked into
# it, is compiled without exceptions (-fno-exceptions, given at the end of
# this file by doruzeda_without_exceptions to each DLL and what it links): a
# try, catch or throw in their code does not compile, and what can fail (an
# allocation) must fail into a result.
add_library(doruzeda_dll_runtime OBJECT ${CMAKE_SOURCE_DIR}/platform/win32/dll_runtime_win32.cpp)
function(doruzeda_win32_dll target name)
    add_library(${target} SHARED ${ARGN} $<TARGET_OBJECTS:doruzeda_dll_runtime>)
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
    target_link_libraries(${target} PRIVATE doruzeda_warnings)
    target_link_options(${target} PRIVATE ${DORUZEDA_STATIC_RUNTIME}
        -Wl,--wrap=__register_frame_info,--wrap=__deregister_frame_info)
    set_property(GLOBAL APPEND PROPERTY DORUZEDA_DLLS ${target})
endfunction()

# doruzeda_without_exceptions(target): compiles target, and every library it
# links (whichever folder made it), with -fno-exceptions.
function(doruzeda_without_exceptions target)
    get_target_property(type ${target} TYPE)
    get_target_property(done ${target} DORUZEDA_WITHOUT_EXCEPTIONS)
    if(done OR NOT type MATCHES "^(STATIC|SHARED|OBJECT)_LIBRARY$")
        return()
    endif()
    set_target_properties(${target} PROPERTIES DORUZEDA_WITHOUT_EXCEPTIONS ON)
    target_compile_options(${target} PRIVATE -fno-exceptions)
    get_target_property(linked ${target} LINK_LIBRARIES)
    foreach(library IN LISTS linked)
        if(TARGET ${library})
            doruzeda_without_exceptions(${library})
        endif()
    endforeach()
endfunction()

# Test programs run under Wine, in a prefix of this build folder, through
# DORUZEDA_WINE_RUN.
set(DORUZEDA_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
configure_file(${CMAKE_SOURCE_DIR}/tests/win32/wine-run.sh.in ${DORUZEDA_WINE_RUN}
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
               GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DORUZEDA_WINE_RUN})

# An import library that imports by ordinal only, from a .def of NONAME entries.
function(doruzeda_import_library target def_file)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_DLLTOOL} --input-def ${def_file} --output-lib ${output}
        DEPENDS ${def_file}
        COMMENT "Import library ${target} (by ordinal)")
    add_custom_target(${target}_generate DEPENDS ${output})
    add_library(${target} INTERFACE)
    add_dependencies(${target} ${target}_generate)
    target_link_libraries(${target} INTERFACE ${output})
endfunction()

doruzeda_import_library(inpout32_import ${CMAKE_SOURCE_DIR}/platform/win32/inpout32_import.def)
doruzeda_import_library(get_io_import ${CMAKE_SOURCE_DIR}/platform/win32/get_io_import.def)

# The portable core, bound to Windows and to the closed libraries.
include(cmake/core.cmake)
target_sources(doruzeda_core PRIVATE
    ${CMAKE_SOURCE_DIR}/platform/win32/port_io_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/device_list_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/log_sink_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/bounded_file_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/wait_sleep_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/guard_win32.cpp)
target_link_libraries(doruzeda_core PUBLIC inpout32_import get_io_import)

# The version numbers, as the version resource and its test are given them.
set(DORUZEDA_VERSION_DEFINITIONS
    DORUZEDA_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} DORUZEDA_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    DORUZEDA_VERSION_PATCH=${PROJECT_VERSION_PATCH} DORUZEDA_VERSION_TWEAK=${PROJECT_VERSION_TWEAK})

# Development stand-ins for the closed libraries and the host's macro module;
# they never ship.
add_subdirectory(standins/inpout32)
add_subdirectory(standins/get_io)
add_subdirectory(standins/kxmacro)

# The window framework layer the setup dialog and the application object use.
add_subdirectory(framework)

# Doruzeda_DO.dll: everything that goes into it, in one place.
enable_language(RC)
doruzeda_win32_dll(Doruzeda_DO Doruzeda_DO
    ${CMAKE_SOURCE_DIR}/macro/exports.cpp
    ${CMAKE_SOURCE_DIR}/macro/Doruzeda_DO.def
    ${CMAKE_SOURCE_DIR}/app/parallel_io_app.cpp ${CMAKE_SOURCE_DIR}/app/unload_gate.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/port_driver_win32.cpp
    ${CMAKE_SOURCE_DIR}/dialog/rud_adado_dlg.cpp
    ${CMAKE_SOURCE_DIR}/dialog/Doruzeda_DO.rc
    ${CMAKE_SOURCE_DIR}/framework/dll_main.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/recording_session_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/recording_win32.cpp
    ${CMAKE_SOURCE_DIR}/platform/win32/system_error_win32.cpp)
target_link_libraries(Doruzeda_DO PRIVATE doruzeda_core doruzeda_vcd_recorder
                      doruzeda_window_framework)
# The shipped library carries no symbol table and no debug information (the
# runtime's, linked in statically, would otherwise come along).
target_link_options(Doruzeda_DO PRIVATE $<$<CONFIG:Release>:-s>)
# Nor the time of the link: without this the linker writes it into the PE
# header and the export directory, and no two builds give the same bytes.
target_link_options(Doruzeda_DO PRIVATE -Wl,--no-insert-timestamp)
# The preprocessor's scan sees resource.h, but not the picture that the
# script names in a BITMAP statement. The version resource takes the
# project's version.
set_source_files_properties(${CMAKE_SOURCE_DIR}/dialog/Doruzeda_DO.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/dialog/connector.bmp
    COMPILE_DEFINITIONS "${DORUZEDA_VERSION_DEFINITIONS}")
# The stand-ins are built with the library so that it can always be loaded here.
add_dependencies(Doruzeda_DO inpout32 get_io)

add_subdirectory(host)
add_subdirectory(bench/win32)
add_subdirectory(tests/win32)

# The deployment text names the number of exports, counted where they are
# defined: the module definition (a change to it configures anew).
set(DORUZEDA_DEF ${CMAKE_SOURCE_DIR}/macro/Doruzeda_DO.def)
file(STRINGS ${DORUZEDA_DEF} DORUZEDA_EXPORT_LINES REGEX "^[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]+@[0-9]+")
list(LENGTH DORUZEDA_EXPORT_LINES DORUZEDA_EXPORT_COUNT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DORUZEDA_DEF})
configure_file(${CMAKE_SOURCE_DIR}/package/win32/README.txt ${CMAKE_BINARY_DIR}/package/README.txt
               @ONLY)

# The package a Windows user downloads: the library as the build made it,
# byte for byte, its header and module definition, the deployment text and
# the licence.
include(cmake/package.cmake)
doruzeda_package(SUFFIX win32 FORMAT zip
    FILES $<TARGET_FILE:Doruzeda_DO> ${CMAKE_SOURCE_DIR}/include/doruzeda_do.h
          ${DORUZEDA_DEF} ${CMAKE_BINARY_DIR}/package/README.txt
          ${CMAKE_SOURCE_DIR}/LICENSE
    NAMES $<TARGET_FILE_NAME:Doruzeda_DO> doruzeda_do.h Doruzeda_DO.def README.txt LICENSE)

# What ships: everything compiled into Doruzeda_DO.dll (scripts/lint.sh lints it).
include(cmake/shipped.cmake)
doruzeda_list_shipped(TARGETS Doruzeda_DO FILES ${CMAKE_SOURCE_DIR}/include/doruzeda_do.h)

# Last, when every DLL and library is defined: no exceptions in the DLLs.
doruzeda_without_exceptions(doruzeda_dll_runtime)
get_property(dlls GLOBAL PROPERTY DORUZEDA_DLLS)
foreach(dll IN LISTS dlls)
    doruzeda_without_exceptions(${dll})
endforeach()
