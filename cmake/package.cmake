# The packages a user downloads: what a user deploys and nothing of
# development (no stand-in, no test program). Each build that makes one
# calls doruzeda_package; then
#
#   python3 tools/pack_package.py <that build> <output folder>
#
# writes it (scripts/package.sh builds what it packs and does that), the same
# bytes from every build of one commit.

# doruzeda_package(SUFFIX s FORMAT zip|tar.gz FILES f... NAMES n...): install
# rules of component "package" that put exactly the files f (named n in the
# package) and a SHA256SUMS of them into one folder, and the build's
# package.txt, which names the archive that holds that folder, files at the
# top: Doruzeda_DO-<version>-s.<format>.
function(doruzeda_package)
    cmake_parse_arguments(PACKAGE "" "SUFFIX;FORMAT" "FILES;NAMES" ${ARGN})
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

    # Installing need not build every test program: scripts/package.sh builds
    # what is packed.
    set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON PARENT_SCOPE)

    # The source folder: the packer takes the release's time from its HEAD
    # commit when SOURCE_DATE_EPOCH is not set.
    file(WRITE ${CMAKE_BINARY_DIR}/package.txt
         "archive=Doruzeda_DO-${PROJECT_VERSION}-${PACKAGE_SUFFIX}.${PACKAGE_FORMAT}\n"
         "source=${CMAKE_SOURCE_DIR}\n")
endfunction()
