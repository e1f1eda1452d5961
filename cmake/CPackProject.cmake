# Read by cpack (CPACK_PROJECT_CONFIG_FILE) before it builds a package.
#
# For the Debian package, Depends is worked out here: dpkg-shlibdeps on the
# shipped programs and library (their packages and minimum versions), then
# the packages they only load at run time, each package once. CPack's own
# dpkg-shlibdeps step is left off: with it, CPack also writes postinst and
# postrm scripts that run ldconfig for any shared object under /usr/lib, and
# our only one is private (lib/stratlyn, loaded by path), so that would be a
# call for nothing.
cmake_policy(SET CMP0057 NEW)  # if(IN_LIST)
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

find_program(STRATLYN_SHLIBDEPS dpkg-shlibdeps)
if(NOT STRATLYN_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps (dpkg-dev) is needed to work out the package's Depends")
endif()
file(STRINGS "${CPACK_STRATLYN_ELF_LIST}" shipped)
set(work "${CPACK_PACKAGE_DIRECTORY}/_shlibdeps")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/debian")
file(WRITE "${work}/debian/control" "")
execute_process(COMMAND ${STRATLYN_SHLIBDEPS} -O ${shipped}
                WORKING_DIRECTORY "${work}"
                OUTPUT_VARIABLE found ERROR_VARIABLE errors RESULT_VARIABLE rc
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${work}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${shipped}:\n${errors}")
endif()
string(REGEX REPLACE "^.*Depends=" "" found "${found}")

# One entry per package: the first one listed (dpkg-shlibdeps gives each
# package once, with its version) wins over a later plain name.
string(REPLACE ", " ";" entries "${found}, ${CPACK_STRATLYN_RUNTIME_DEPENDS}")
set(depends "")
set(seen "")
foreach(entry IN LISTS entries)
  string(STRIP "${entry}" entry)
  if(entry STREQUAL "")
    continue()
  endif()
  string(REGEX REPLACE "[ (].*" "" name "${entry}")
  if(entry MATCHES "\\|" OR NOT name IN_LIST seen)
    list(APPEND depends "${entry}")
    list(APPEND seen "${name}")
  endif()
endforeach()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
