# The Windows package, Doruzeda_DO-<version>-win32.zip: what a user deploys
# and nothing of development (no stand-in, no test program). The install
# rules of component "package" put exactly these files into one folder; CPack
# zips that folder:
#
#   cpack --config <this build>/CPackConfig.cmake -B <output folder>
#
# (scripts/package.sh builds the library and does that).

set(DORUZEDA_PACKAGE_FILES
    ${CMAKE_SOURCE_DIR}/macro/doruzeda_do.h
    ${CMAKE_SOURCE_DIR}/macro/Doruzeda_DO.def
    ${CMAKE_SOURCE_DIR}/package/win32/README.txt
    ${CMAKE_SOURCE_DIR}/LICENSE)

# The library as the build made it, byte for byte.
install(FILES $<TARGET_FILE:Doruzeda_DO> DESTINATION . COMPONENT package)
install(FILES ${DORUZEDA_PACKAGE_FILES} DESTINATION . COMPONENT package)

# SHA256SUMS, in the form "sha256sum -c" reads, lists every other file. The
# rules of one folder run in order, so the files are in place by now.
set(DORUZEDA_PACKAGE_NAMES $<TARGET_FILE_NAME:Doruzeda_DO>)
foreach(file IN LISTS DORUZEDA_PACKAGE_FILES)
    get_filename_component(name ${file} NAME)
    list(APPEND DORUZEDA_PACKAGE_NAMES ${name})
endforeach()
install(CODE "
    set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(names \"${DORUZEDA_PACKAGE_NAMES}\")
    list(SORT names)
    set(sums \"\")
    foreach(name IN LISTS names)
        file(SHA256 \"\${folder}/\${name}\" sum)
        string(APPEND sums \"\${sum}  \${name}\\n\")
    endforeach()
    file(WRITE \"\${folder}/SHA256SUMS\" \"\${sums}\")
    message(STATUS \"Written: \${folder}/SHA256SUMS\")
    " COMPONENT package)

# CPack installs after building the "preinstall" target; that need not build
# every test program: the library is all the package takes from the build.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Doruzeda_DO)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Doruzeda_DO-${PROJECT_VERSION}-win32)
# The files at the top of the zip, and only those of component "package".
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Doruzeda_DO;package;/")
# No source package: the repository is the source.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
