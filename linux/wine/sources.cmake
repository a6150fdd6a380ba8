# The sources of the two Winelib DLLs, INPOUT32.dll and get_io.dll: built by
# linux/wine/CMakeLists.txt, listed as shipped by the Linux build
# (cmake/linux.cmake), which builds that project apart.
set(DORUZEDA_PPDEV_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../ppdev_port.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/../ppdev_port_list.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/../ppdev_system_linux.cpp)
# DORUZEDA_WINELIB_<target>: what goes into <target> (inpout32, get_io).
foreach(target inpout32 get_io)
    set(DORUZEDA_WINELIB_${target} ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp
        ${CMAKE_CURRENT_LIST_DIR}/keep_loaded.cpp ${DORUZEDA_PPDEV_SOURCES})
endforeach()
