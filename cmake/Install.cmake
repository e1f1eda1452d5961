# Install layout and the Debian package.
#
#   bin/stratlyn, bin/stratlyn-cli
#   lib/stratlyn/libzelop32.so          the pricing library, loaded at run time
#   share/stratlyn/site/                the bundled help and links pages (with a
#                                       copy of the library for its download link)
#   share/applications/stratlyn.desktop, share/metainfo/org.stratlyn.Stratlyn.metainfo.xml
#   share/icons/hicolor/{scalable,256x256}/apps/stratlyn.{svg,png}
#   share/man/man1/stratlyn.1.gz, stratlyn-cli.1.gz
#   share/doc/stratlyn/README.md
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
  # search next to the programs. Installed as built, not stripped: the
  # program accepts a downloaded copy only when it matches the digest of
  # this build's library, so every copy we ship is that very file.
  install(FILES $<TARGET_FILE:zelop32> DESTINATION ${STRATLYN_PRIVATE_LIBDIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/stratlyn)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/site/ DESTINATION ${STRATLYN_SITEDIR}
        PATTERN ".*" EXCLUDE
        PATTERN "libzelop32.so" EXCLUDE)
if(TARGET zelop32)
  # The bundled site offers the library for download (help menu, recovery of
  # a missing library): always this build's own copy, never a stale one.
  install(FILES $<TARGET_FILE:zelop32> DESTINATION ${STRATLYN_SITEDIR}/public/modules/install
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()

# --- desktop integration ----------------------------------------------------
install(FILES ${STRATLYN_PACKAGING_DIR}/stratlyn.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${STRATLYN_PACKAGING_DIR}/stratlyn.svg
        DESTINATION ${STRATLYN_ICONDIR}/scalable/apps)
# Software centres list the program from its AppStream entry.
install(FILES ${STRATLYN_PACKAGING_DIR}/stratlyn.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.stratlyn.Stratlyn.metainfo.xml)

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

# --- manual pages -----------------------------------------------------------
# stratlyn-cli.1 comes from the tool's own --help (help2man), with each
# command's --help as a section of its own; stratlyn.1 is written by hand.
# Both are installed compressed.
set(STRATLYN_MAN_SCRIPT ${STRATLYN_PACKAGING_DIR}/manpage.cmake)
set(STRATLYN_GUI_MAN ${STRATLYN_GENERATED_DIR}/stratlyn.1.gz)
add_custom_command(
  OUTPUT ${STRATLYN_GUI_MAN}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${STRATLYN_PACKAGING_DIR}/stratlyn.1
          -DOUTPUT=${STRATLYN_GUI_MAN} -P ${STRATLYN_MAN_SCRIPT}
  DEPENDS ${STRATLYN_PACKAGING_DIR}/stratlyn.1 ${STRATLYN_MAN_SCRIPT}
  VERBATIM)
set(STRATLYN_MAN_PAGES ${STRATLYN_GUI_MAN})

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
set(CPACK_PACKAGE_VENDOR "Stratlyn")
set(CPACK_PACKAGE_CONTACT
    "Stratlyn maintainers <maintainers@users.noreply.c-seed-90f9e45d.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "option-pricing calculator for students and investors")
set(CPACK_PACKAGE_DESCRIPTION
    "Stratlyn values equity, index and currency options and their hedge parameters
(delta, gamma, vega, theta), or finds the implied volatility from a market price:
European options in closed form, American and barrier options on a trinomial
lattice. Quotes, interest rates and dividend yields can be typed or fetched from
public web pages, which are shown beside the calculator. A risk view, a
sensitivity view, financial calculators and a link to LibreOffice Calc complete
the window; stratlyn-cli does the same pricing in scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # stratlyn_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
# Libraries the programs link come from dpkg-shlibdeps; what they only load at
# run time is listed by hand: certificates for the HTTPS pages and, for the
# window, Qt's SVG plugins (the icon) and the web engine's helper process.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(STRATLYN_RUNTIME_DEPENDS ca-certificates)
if(TARGET stratlyn)
  list(APPEND STRATLYN_RUNTIME_DEPENDS libqt6svg6 libqt6webenginecore6-bin)
endif()
list(JOIN STRATLYN_RUNTIME_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc")
include(CPack)
