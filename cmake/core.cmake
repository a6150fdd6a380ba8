# The portable core, doruzeda_core: port control (which feeds a recording,
# port/port_recording.h, every access), discovery and the debug log. It includes no
# Windows header; the platform operations it needs are bound at link time, by
# what each build adds to it: the Win32 build platform/win32/ (target_sources),
# the native build and the fuzz targets the standard library's guard
# (doruzeda_guard_std, below), the fuzz targets also the tests' fakes.
#
# Each source is named in one target, which every build that needs it links:
#   doruzeda_core          the core
#   doruzeda_vcd_recorder  record/'s portable part: a VCD file's text, and
#                          the reader of a file to play
#   doruzeda_guard_std     the core's guard over std::mutex
#                          (platform/std/); built only where linked
#
# Its sources come from DORUZEDA_CORE_ROOT where that is set (the fuzz build
# can name another checkout), else from this tree.
include(${CMAKE_CURRENT_LIST_DIR}/compile.cmake)
if(NOT DORUZEDA_CORE_ROOT)
    get_filename_component(DORUZEDA_CORE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
endif()

add_library(doruzeda_core STATIC
    ${DORUZEDA_CORE_ROOT}/port/pin_map.cpp
    ${DORUZEDA_CORE_ROOT}/port/port_controller.cpp
    ${DORUZEDA_CORE_ROOT}/port/timed_operations.cpp
    ${DORUZEDA_CORE_ROOT}/port/play_operation.cpp
    ${DORUZEDA_CORE_ROOT}/port/window_operations.cpp
    ${DORUZEDA_CORE_ROOT}/port/enumerate_ports.cpp
    ${DORUZEDA_CORE_ROOT}/log/debug_log.cpp)
target_include_directories(doruzeda_core PUBLIC ${DORUZEDA_CORE_ROOT})
target_link_libraries(doruzeda_core PRIVATE doruzeda_warnings)

add_library(doruzeda_vcd_recorder STATIC ${DORUZEDA_CORE_ROOT}/record/vcd_recorder.cpp
                                         ${DORUZEDA_CORE_ROOT}/record/vcd_reader.cpp)
target_link_libraries(doruzeda_vcd_recorder PUBLIC doruzeda_core PRIVATE doruzeda_warnings)

# Linked by the core (target_link_libraries(doruzeda_core PUBLIC
# doruzeda_guard_std)) where it is the binding; it takes the core's options
# (sanitizers, fuzzing) through its own link to the core, a cycle of two static
# libraries, which CMake allows.
add_library(doruzeda_guard_std STATIC EXCLUDE_FROM_ALL ${DORUZEDA_CORE_ROOT}/platform/std/guard_std.cpp)
target_link_libraries(doruzeda_guard_std PRIVATE doruzeda_core doruzeda_warnings)
