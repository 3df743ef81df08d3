# What `cmake --install` puts where, and the Debian package that `cpack -G DEB`
# builds from the same files. Included by the top-level CMakeLists.txt after
# GNUInstallDirs and the `ostrel` target.

install(FILES doc/ostrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completions/ostrel.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ostrel)
install(FILES completions/_ostrel DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/site-functions)
install(FILES completions/ostrel.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR "ostrel maintainers")
set(CPACK_PACKAGE_CONTACT "ostrel maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "edit Ostrel's dictionary, rules and style from the command line")
set(CPACK_PACKAGE_DESCRIPTION
    "ostrel edits the settings file of the Ostrel speech-to-text desktop application: \
its custom-word dictionary, its text rules (snippets and transforms) and its style \
guidance. Every edit is checked against fixed limits and saved atomically.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR TGZ)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ostrel maintainers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps names the packages of the shared libraries the binary links
# (utf8proc and the C library), in the versions of the build machine.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian's zsh looks in vendor-completions, and man pages ship compressed.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian_layout.cmake)

include(CPack)
