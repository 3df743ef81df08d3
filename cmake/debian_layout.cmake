# Run by CPack on the staged files before it builds a package. For the Debian
# package, moves what `cmake --install` lays out for any system to Debian's
# own places: zsh's vendor-completions folder, and a gzipped man page.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")

set(site_functions "${usr}/share/zsh/site-functions")
file(MAKE_DIRECTORY "${usr}/share/zsh/vendor-completions")
file(RENAME "${site_functions}/_ostrel" "${usr}/share/zsh/vendor-completions/_ostrel")
file(REMOVE_RECURSE "${site_functions}")  # empty now

find_program(gzip_program gzip REQUIRED)
execute_process(COMMAND "${gzip_program}" -9 -n -f "${usr}/share/man/man1/ostrel.1"
                COMMAND_ERROR_IS_FATAL ANY)
