# Install layout and the Debian package.
#
#   bin/stratlyn, bin/stratlyn-cli
#   lib/stratlyn/libzelop32.so          the pricing library, loaded at run time
#   share/stratlyn/site/                the bundled help and links pages; their
#                                       download link to the library is a symbolic
#                                       link to lib/stratlyn/libzelop32.so
#   share/applications/stratlyn.desktop, share/metainfo/org.stratlyn.stratlyn.metainfo.xml
#   share/icons/hicolor/{scalable,256x256}/apps/stratlyn.{svg,png}
#   share/man/man1/stratlyn.1.gz, stratlyn-cli.1.gz
#   share/doc/stratlyn/README.md, copyright, changelog.Debian.gz
#
# Everything is found relative to the executables (../lib/stratlyn,
# ../share/stratlyn/site), so any prefix works: `cmake --install BUILD --prefix
# DIR`, `make install PREFIX=DIR`, or the package from `make package` (/usr).
include_guard(GLOBAL)

set(STRATLYN_PRIVATE_LIBDIR lib/stratlyn)
set(STRATLYN_SITEDIR ${CMAKE_INSTALL_DATADIR}/stratlyn/site)
set(STRATLYN_ICONDIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
set(STRATLYN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(STRATLYN_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${STRATLYN_GENERATED_DIR})

# --- programs and the pricing library ---------------------------------------
install(TARGETS stratlyn-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET stratlyn)
  install(TARGETS stratlyn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET zelop32)
  # A private library: not on the linker's path, found by the loader's own
  # search next to the programs. Installed as built: the program accepts a
  # downloaded copy only when it matches the digest of this build's library
  # (taken from the built file), so every copy we ship is that very file. It
  # is therefore linked stripped, as a package ships it; sanitizer builds keep
  # their symbols for the reports.
  if(NOT STRATLYN_SANITIZE)
    target_link_options(zelop32 PRIVATE LINKER:--strip-all)
  endif()
  install(FILES $<TARGET_FILE:zelop32> DESTINATION ${STRATLYN_PRIVATE_LIBDIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/site/ DESTINATION ${STRATLYN_SITEDIR}
        PATTERN ".*" EXCLUDE
        PATTERN "libzelop32.so" EXCLUDE)
if(TARGET zelop32)
  # The bundled site offers the library for download (help menu, recovery of
  # a missing library): always the installed library itself, by a relative
  # link (an architecture-dependent file has no place under share/, and the
  # tree stays movable).
  set(site_download_dir ${STRATLYN_SITEDIR}/public/modules/install)
  file(RELATIVE_PATH site_download_target /${site_download_dir}
       /${STRATLYN_PRIVATE_LIBDIR}/libzelop32.so)
  install(CODE "
    set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${site_download_dir}\")
    file(MAKE_DIRECTORY \"\${dir}\")
    message(STATUS \"Installing: \${dir}/libzelop32.so -> ${site_download_target}\")
    file(CREATE_LINK ${site_download_target} \"\${dir}/libzelop32.so\" SYMBOLIC)")
endif()

# --- documentation ------------------------------------------------------------
# The release history in the changelog and the AppStream entry starts with
# this version.
set(STRATLYN_DEB_REVISION 1)
file(STRINGS ${STRATLYN_PACKAGING_DIR}/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^stratlyn \\(${PROJECT_VERSION}-${STRATLYN_DEB_REVISION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not start with version "
                      "${PROJECT_VERSION}-${STRATLYN_DEB_REVISION}: ${changelog_top}")
endif()
file(READ ${STRATLYN_PACKAGING_DIR}/stratlyn.metainfo.xml metainfo)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${STRATLYN_PACKAGING_DIR}/changelog ${STRATLYN_PACKAGING_DIR}/stratlyn.metainfo.xml)
if(NOT metainfo MATCHES "<releases>[ \n]*<release version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "packaging/stratlyn.metainfo.xml lists no release ${PROJECT_VERSION} first")
endif()
# The licence as Debian's machine-readable copyright file, and the release
# history as a Debian changelog (gzip -9n, so the bytes do not depend on when
# it was built).
set(STRATLYN_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/stratlyn)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${STRATLYN_PACKAGING_DIR}/copyright
        DESTINATION ${STRATLYN_DOCDIR})
set(STRATLYN_CHANGELOG ${STRATLYN_GENERATED_DIR}/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${STRATLYN_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${STRATLYN_PACKAGING_DIR}/changelog
          -DOUTPUT=${STRATLYN_CHANGELOG} -P ${STRATLYN_PACKAGING_DIR}/manpage.cmake
  DEPENDS ${STRATLYN_PACKAGING_DIR}/changelog ${STRATLYN_PACKAGING_DIR}/manpage.cmake
  VERBATIM)
add_custom_target(stratlyn_changelog ALL DEPENDS ${STRATLYN_CHANGELOG})
install(FILES ${STRATLYN_CHANGELOG} DESTINATION ${STRATLYN_DOCDIR})
# What lintian remarks on and we keep, each with its reason.
install(FILES ${STRATLYN_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME stratlyn)

# --- desktop integration ----------------------------------------------------
# The menu entry, its icon and its AppStream entry belong to the window.
if(TARGET stratlyn)
  install(FILES ${STRATLYN_PACKAGING_DIR}/stratlyn.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${STRATLYN_PACKAGING_DIR}/stratlyn.svg
          DESTINATION ${STRATLYN_ICONDIR}/scalable/apps)
  # A program run from the build folder finds its icon in BUILD/packaging.
  configure_file(${STRATLYN_PACKAGING_DIR}/stratlyn.svg ${STRATLYN_GENERATED_DIR}/stratlyn.svg COPYONLY)
  # Software centres list the program from its AppStream entry.
  install(FILES ${STRATLYN_PACKAGING_DIR}/stratlyn.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.stratlyn.stratlyn.metainfo.xml)

  # The 256 px icon is drawn from the SVG at build time (ImageMagick, one of
  # the build dependencies). The PNG carries no time stamps, so rebuilding it
  # gives the same bytes.
  find_program(STRATLYN_CONVERT NAMES convert)
  if(STRATLYN_CONVERT)
    set(STRATLYN_ICON_PNG ${STRATLYN_GENERATED_DIR}/stratlyn.png)
    add_custom_command(
      OUTPUT ${STRATLYN_ICON_PNG}
      COMMAND ${STRATLYN_CONVERT} -background none -density 96
              ${STRATLYN_PACKAGING_DIR}/stratlyn.svg -resize 256x256 -depth 8 -strip
              -define png:exclude-chunks=date,time ${STRATLYN_ICON_PNG}
      DEPENDS ${STRATLYN_PACKAGING_DIR}/stratlyn.svg
      COMMENT "Drawing the 256 px application icon"
      VERBATIM)
    add_custom_target(stratlyn_icon ALL DEPENDS ${STRATLYN_ICON_PNG})
    install(FILES ${STRATLYN_ICON_PNG} DESTINATION ${STRATLYN_ICONDIR}/256x256/apps)
  else()
    message(WARNING "ImageMagick's convert not found: the 256 px icon is not built or installed")
  endif()
endif()

# --- manual pages -----------------------------------------------------------
# stratlyn-cli.1 comes from the tool's own --help (help2man), with each
# command's --help as a section of its own; stratlyn.1 is written by hand.
# Both are installed compressed.
set(STRATLYN_MAN_SCRIPT ${STRATLYN_PACKAGING_DIR}/manpage.cmake)
set(STRATLYN_MAN_PAGES "")
if(TARGET stratlyn)
  set(STRATLYN_GUI_MAN ${STRATLYN_GENERATED_DIR}/stratlyn.1.gz)
  add_custom_command(
    OUTPUT ${STRATLYN_GUI_MAN}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${STRATLYN_PACKAGING_DIR}/stratlyn.1
            -DOUTPUT=${STRATLYN_GUI_MAN} -P ${STRATLYN_MAN_SCRIPT}
    DEPENDS ${STRATLYN_PACKAGING_DIR}/stratlyn.1 ${STRATLYN_MAN_SCRIPT}
    VERBATIM)
  list(APPEND STRATLYN_MAN_PAGES ${STRATLYN_GUI_MAN})
endif()

find_program(STRATLYN_HELP2MAN NAMES help2man)
if(STRATLYN_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  set(STRATLYN_CLI_MAN ${STRATLYN_GENERATED_DIR}/stratlyn-cli.1.gz)
  add_custom_command(
    OUTPUT ${STRATLYN_CLI_MAN}
    COMMAND ${CMAKE_COMMAND}
            -DCLI=$<TARGET_FILE:stratlyn-cli>
            -DHELP2MAN=${STRATLYN_HELP2MAN}
            -DINCLUDE=${STRATLYN_PACKAGING_DIR}/stratlyn-cli.h2m
            -DWORK_DIR=${STRATLYN_GENERATED_DIR}
            -DOUTPUT=${STRATLYN_CLI_MAN}
            -P ${STRATLYN_MAN_SCRIPT}
    DEPENDS stratlyn-cli ${STRATLYN_PACKAGING_DIR}/stratlyn-cli.h2m ${STRATLYN_MAN_SCRIPT}
    COMMENT "Writing the stratlyn-cli manual page from its --help"
    VERBATIM)
  list(APPEND STRATLYN_MAN_PAGES ${STRATLYN_CLI_MAN})
else()
  message(WARNING "help2man not found: the stratlyn-cli manual page is not built or installed")
endif()
add_custom_target(stratlyn_manpages ALL DEPENDS ${STRATLYN_MAN_PAGES})
install(FILES ${STRATLYN_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# --- tests of the installed layout ------------------------------------------
if(STRATLYN_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/packaging ${CMAKE_BINARY_DIR}/tests/packaging)
endif()

# --- Debian package (make package) ------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stratlyn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The package's own revision: stratlyn_<version>-1_amd64.deb, whose history
# is packaging/changelog (installed as changelog.Debian.gz).
set(CPACK_DEBIAN_PACKAGE_RELEASE ${STRATLYN_DEB_REVISION})
set(CPACK_PACKAGE_VENDOR "Stratlyn")
set(CPACK_PACKAGE_CONTACT
    "Stratlyn maintainers <maintainers@users.noreply.c-seed-90f9e45d.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "option-pricing calculator for students and investors")
set(CPACK_PACKAGE_DESCRIPTION
    "Stratlyn values equity, index and currency options and their hedge
parameters (delta, gamma, vega, theta), or finds the implied volatility from a
market price: European options in closed form, American and barrier options on
a trinomial lattice. Quotes, interest rates and dividend yields can be typed or
fetched from public web pages, which are shown beside the calculator. A risk
view, a sensitivity view, financial calculators and a link to LibreOffice Calc
complete the window; stratlyn-cli does the same pricing in scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # stratlyn_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
# Libraries the programs link come from dpkg-shlibdeps; what they only load at
# run time is listed by hand: certificates for the HTTPS pages and, for the
# window, Qt's SVG plugins (the icon) and the web engine's helper process.
# cmake/CPackProject.cmake puts them together when cpack runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackProject.cmake)
set(CPACK_STRATLYN_RUNTIME_DEPENDS ca-certificates)
if(TARGET stratlyn)
  list(APPEND CPACK_STRATLYN_RUNTIME_DEPENDS libqt6svg6 libqt6webenginecore6-bin)
endif()
list(JOIN CPACK_STRATLYN_RUNTIME_DEPENDS ", " CPACK_STRATLYN_RUNTIME_DEPENDS)
set(CPACK_STRATLYN_ELF_LIST ${STRATLYN_GENERATED_DIR}/shipped-elf-files.txt)
set(shipped_elf "$<TARGET_FILE:stratlyn-cli>")
foreach(target stratlyn zelop32)
  if(TARGET ${target})
    string(APPEND shipped_elf "\n$<TARGET_FILE:${target}>")
  endif()
endforeach()
file(GENERATE OUTPUT ${CPACK_STRATLYN_ELF_LIST} CONTENT "${shipped_elf}\n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc")
include(CPack)
