# Installation and the two Debian packages, included by the top-level CMakeLists.txt.
#
#   tessival-batch  the command-line tool, its manual pages (English, Japanese) and its bash
#                   completion; no Qt, so a server can have it alone.
#   tessival        the desktop program, its readme, menu entry, icon, AppStream metadata and
#                   manual pages. It runs nothing of tessival-batch and shares no file with
#                   it, so it does not depend on it.
#
# Each package has /usr/share/doc/<package>/copyright (COPYRIGHT, machine-readable) and
# changelog.gz (packaging/changelog). `cpack --config build/CPackConfig.cmake` makes both;
# scripts/package.sh makes them and checks them with lintian.

include(GNUInstallDirs)

set(TESSIVAL_HOMEPAGE "https://codeberg.org/tessival/tessival")
set(TESSIVAL_MAINTAINER "Tessival developers <tessival@users.noreply.codeberg.org>")
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(packaging_out ${PROJECT_BINARY_DIR}/packaging)

# The changelog's newest entry must be this version; its date dates the manual pages and the
# AppStream release, so that the same sources always make the same files.
set(changelog ${packaging_dir}/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^tessival \\(([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: the first line is not an entry: ${changelog_head}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog starts with version ${CMAKE_MATCH_1}, but project(VERSION) "
                      "says ${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION} at its top.")
endif()
set(TESSIVAL_RELEASE_DATE "")
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^ -- .+>  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    set(day ${CMAKE_MATCH_1})
    set(year ${CMAKE_MATCH_3})
    set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
    list(FIND months "${CMAKE_MATCH_2}" month)
    math(EXPR month "${month} + 1")
    string(LENGTH "${day}" day_digits)
    if(day_digits EQUAL 1)
      set(day "0${day}")
    endif()
    if(month LESS 10)
      set(month "0${month}")
    endif()
    set(TESSIVAL_RELEASE_DATE "${year}-${month}-${day}")
    break()
  endif()
endforeach()
if(NOT TESSIVAL_RELEASE_DATE)
  message(FATAL_ERROR "packaging/changelog: the first entry has no trailer line with its date")
endif()

# Files made from sources here: the manual pages get the version and date, then they and the
# changelog are compressed as Debian wants them (gzip -9n: no name or time stamp inside).
set(man_pages tessival-batch)
if(TARGET tessival)
  list(APPEND man_pages tessival)
endif()
set(gzipped)
function(tessival_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${source} ${output}
    DEPENDS ${source} VERBATIM)
  set(gzipped ${gzipped} ${output} PARENT_SCOPE)
endfunction()
foreach(page IN LISTS man_pages)
  foreach(lang en ja)
    set(dir ${packaging_out}/man/${lang})
    configure_file(${packaging_dir}/man/${lang}/${page}.1.in ${dir}/${page}.1 @ONLY)
    tessival_gzip(${dir}/${page}.1 ${dir}/${page}.1.gz)
  endforeach()
endforeach()
tessival_gzip(${changelog} ${packaging_out}/changelog.gz)
add_custom_target(packaging_files ALL DEPENDS ${gzipped})

# tessival-batch
install(TARGETS tessival-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT batch)
install(FILES ${packaging_out}/man/en/tessival-batch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT batch)
install(FILES ${packaging_out}/man/ja/tessival-batch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1
        COMPONENT batch)
install(FILES ${packaging_dir}/tessival-batch.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tessival-batch
        COMPONENT batch)
install(FILES ${PROJECT_SOURCE_DIR}/COPYRIGHT DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessival-batch
        RENAME copyright COMPONENT batch)
install(FILES ${packaging_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessival-batch
        COMPONENT batch)

# tessival: the readme goes where the Readme command finds it (../share/doc/tessival from the
# executable).
if(TARGET tessival)
  set(TESSIVAL_APPSTREAM_ID page.codeberg.tessival.tessival)
  set(metainfo ${packaging_out}/${TESSIVAL_APPSTREAM_ID}.metainfo.xml)
  configure_file(${PROJECT_SOURCE_DIR}/src/ui/resources/tessival.metainfo.xml.in ${metainfo} @ONLY)

  install(TARGETS tessival RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/src/ui/readme.txt ${packaging_out}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessival COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/COPYRIGHT DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessival
          RENAME copyright COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/src/ui/resources/tessival.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
  install(FILES ${PROJECT_SOURCE_DIR}/src/ui/resources/tessival.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT desktop)
  install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT desktop)
  install(FILES ${packaging_out}/man/en/tessival.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT desktop)
  install(FILES ${packaging_out}/man/ja/tessival.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1
          COMPONENT desktop)
endif()

# The packages. Their dependencies are the Debian packages the programs link against (found by
# dpkg-shlibdeps, which needs dpkg-dev and file) plus what the desktop program loads at run
# time: the Japanese font, Qt's platform plugins (only recommended by Qt itself) and
# xdg-utils, which opens the readme and the pages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessival)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tessival developers")
set(CPACK_PACKAGE_CONTACT "${TESSIVAL_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${TESSIVAL_HOMEPAGE}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY tessival)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL batch)
set(CPACK_DEBIAN_PACKAGE_SOURCE tessival)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Release builds have no debug information: the programs are stripped. RelWithDebInfo builds
# keep it apart, as Debian does, in -dbgsym packages (.ddeb) beside the packages.
if(CMAKE_BUILD_TYPE MATCHES "^(RelWithDebInfo|Debug)$")
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
else()
  set(CPACK_STRIP_FILES ON)
endif()

# Lines of at most 79 columns (80 with the space Debian's format puts before each).
set(about_tessival
  "Tessival recolours a whole web site in place. It shifts the hue, saturation\n"
  "and brightness of every colour value written in the site's HTML and CSS files\n"
  "and of every pixel of its GIF and PNG images, and can replace chosen colours\n"
  "with others. Each file it changes can keep its original beside it as a backup\n"
  "named after it with the extension .bak, to be restored or deleted later.\n"
  "\n")
string(CONCAT CPACK_COMPONENT_BATCH_DESCRIPTION
  "recolour a whole web site in place (command-line tool)\n"
  ${about_tessival}
  "This package holds tessival-batch, the conversion for scripts and servers: it\n"
  "converts the files and folders named on its command line, prints a log of each\n"
  "file and needs neither a display nor Qt. Its messages are in Japanese.")
set(CPACK_DEBIAN_BATCH_PACKAGE_NAME tessival-batch)

if(TARGET tessival)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
  string(CONCAT CPACK_COMPONENT_DESKTOP_DESCRIPTION
    "recolour a whole web site in place (desktop program)\n"
    ${about_tessival}
    "This package holds tessival, the desktop program (Qt 6): it lists a site's\n"
    "files, sets the shifts with three scroll bars and a table of colour pairs,\n"
    "shows a page as it will look before anything is written, runs the conversion\n"
    "and restores or deletes the backups. Its interface is in Japanese. The same\n"
    "conversion without a display is in the package tessival-batch.")
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME tessival)
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-qpa-plugins, xdg-utils")
endif()
include(CPack)
