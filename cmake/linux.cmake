# The Linux build (DORUZEDA_LINUX=ON): real pins from Linux through ppdev.
#  - INPOUT32.dll and get_io.dll for Wine, built by winegcc in a build of their
#    own (linux/wine) and placed with the deployment text in dist/;
#  - with the host compiler: the native tests of the ppdev library, the fake
#    ppdev device (FUSE), the virtual machine's test program, and the tests
#    that run the Wine libraries on the fake and the library on the kernel.
include(ExternalProject)

set(DORUZEDA_LINUX_DIST ${CMAKE_BINARY_DIR}/dist)
set(DORUZEDA_WIN32_BIN ${CMAKE_SOURCE_DIR}/build/win32/bin CACHE PATH
    "The Win32 build's bin folder (host.exe, Doruzeda_DO.dll, kxmacro.dll)")

ExternalProject_Add(wine_dlls
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/linux/wine
    BINARY_DIR ${CMAKE_BINARY_DIR}/wine
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-winegcc.cmake
               -DCMAKE_BUILD_TYPE=Release
               -DDORUZEDA_DIST_DIR=${DORUZEDA_LINUX_DIST}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

add_custom_target(dist_text ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${DORUZEDA_LINUX_DIST}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/linux/README-linux.txt
            ${DORUZEDA_LINUX_DIST}/README-linux.txt)

# What ships: the two Wine libraries' sources (scripts/lint.sh lints them).
include(cmake/shipped.cmake)
include(linux/wine/sources.cmake)
doruzeda_list_shipped(FILES ${DORUZEDA_WINELIB_inpout32} ${DORUZEDA_WINELIB_get_io})

add_subdirectory(tests/linux)
add_subdirectory(bench/linux)

# The package a Linux user downloads, to run the library under Wine on real
# pins: the two Wine libraries, the deployment text and the licence.
include(cmake/package.cmake)
doruzeda_package(SUFFIX linux-wine FORMAT tar.gz
    FILES ${DORUZEDA_LINUX_DIST}/INPOUT32.dll ${DORUZEDA_LINUX_DIST}/get_io.dll
          ${CMAKE_SOURCE_DIR}/linux/README-linux.txt ${CMAKE_SOURCE_DIR}/LICENSE
    NAMES INPOUT32.dll get_io.dll README-linux.txt LICENSE)
