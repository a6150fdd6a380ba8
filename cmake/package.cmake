# The packages a user downloads: what a user deploys and nothing of
# development (no stand-in, no test program). Each build that makes one
# calls doruzeda_package; then
#
#   cpack --config <that build>/CPackConfig.cmake -B <output folder>
#
# writes it (scripts/package.sh builds what it packs and does that).

# doruzeda_package(GENERATOR g SUFFIX s FILES f... NAMES n...): install rules
# of component "package" that put exactly the files f (named n in the
# package) and a SHA256SUMS of them into one folder, and the CPack settings
# that pack that folder, files at the top, as Doruzeda_DO-<version>-s.
function(doruzeda_package)
    cmake_parse_arguments(PACKAGE "" "GENERATOR;SUFFIX" "FILES;NAMES" ${ARGN})
    install(FILES ${PACKAGE_FILES} DESTINATION . COMPONENT package)
    # SHA256SUMS, in the form "sha256sum -c" reads, lists every other file.
    # The rules of one folder run in order, so the files are in place by now.
    install(CODE "
        set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
        set(names \"${PACKAGE_NAMES}\")
        list(SORT names)
        set(sums \"\")
        foreach(name IN LISTS names)
            file(SHA256 \"\${folder}/\${name}\" sum)
            string(APPEND sums \"\${sum}  \${name}\\n\")
        endforeach()
        file(WRITE \"\${folder}/SHA256SUMS\" \"\${sums}\")
        message(STATUS \"Written: \${folder}/SHA256SUMS\")
        " COMPONENT package)

    # CPack installs after building the "preinstall" target; that need not
    # build every test program: scripts/package.sh builds what is packed.
    set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON PARENT_SCOPE)

    set(CPACK_GENERATOR ${PACKAGE_GENERATOR})
    set(CPACK_PACKAGE_NAME Doruzeda_DO)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_FILE_NAME Doruzeda_DO-${PROJECT_VERSION}-${PACKAGE_SUFFIX})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Doruzeda_DO;package;/")
    # No source package: the repository is the source.
    set(CPACK_SOURCE_GENERATOR "")
    include(CPack)
endfunction()
