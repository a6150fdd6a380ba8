# The portable core, doruzeda_core: port control, discovery, the debug log and
# the tap through which a recording sees the port accesses. It includes no
# Windows header; the platform operations it needs are bound at link time, by
# the sources each build adds to it (target_sources): the native build the
# standard library's guard, the Win32 build platform/win32/, the fuzz targets
# the tests' fakes.
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
    ${DORUZEDA_CORE_ROOT}/port/enumerate_ports.cpp
    ${DORUZEDA_CORE_ROOT}/log/debug_log.cpp
    ${DORUZEDA_CORE_ROOT}/record/access_tap.cpp)
target_include_directories(doruzeda_core PUBLIC ${DORUZEDA_CORE_ROOT})
target_link_libraries(doruzeda_core PRIVATE doruzeda_warnings)
