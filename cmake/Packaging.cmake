# Installation and packages.
#
# Linux: the tools, their manual page, the bash completion, udev rules for the ports, and
# the README, copyright, changelog and an example set-up file. `cpack -G DEB` makes the
# Debian package (from a dynamically linked build), `cpack -G TGZ` a tarball (meant for a
# -DPMC10_STATIC=ON build, so that it runs on any Linux).
# Windows: the .exe files and a README.txt with CR LF line ends; `cpack -G ZIP`.
include(GNUInstallDirs)

set(PMC10_MAINTAINER "pmc10 project <pmc10@pmc10.invalid>"
    CACHE STRING "Maintainer field of the .deb and name in its changelog (Name <address>)")
if(NOT PMC10_MAINTAINER MATCHES "^[^<>@]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
  message(FATAL_ERROR "PMC10_MAINTAINER must read \"Name <user@host.domain>\", "
                      "not \"${PMC10_MAINTAINER}\"")
endif()
set(PMC10_COPYRIGHT_HOLDER "The pmc10 developers"
    CACHE STRING "Copyright holder named in the package's copyright file")
set(PMC10_LICENSE "Expat" CACHE STRING
    "License short name for the copyright file (Expat: the MIT license); its text is LICENSE")

# The documentation the README links to: the pages in docs/ and their pictures.
file(GLOB pmc10_docs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md
     ${PROJECT_SOURCE_DIR}/docs/*.svg)

# README.txt's option list, read from the option table's rows, so that a cross build
# makes it too: "  -p, --port PORT" and the help text, in two columns.
file(READ ${PROJECT_SOURCE_DIR}/front/Options.cpp options_source)
# Semicolons would split CMake's lists: carried as a stand-in until the end.
string(REPLACE ";" "<semicolon>" options_source "${options_source}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS front/Options.cpp)
set(option_row "{\"(--[a-z-]+)\",[ \t\r\n]*('.'|0),[ \t\r\n]*(\"[A-Z]+\"|nullptr),[ \t\r\n]*\"([^\"]*)\"")
string(REGEX MATCHALL "${option_row}" option_rows "${options_source}")
if(NOT option_rows)
  message(FATAL_ERROR "no option rows found in front/Options.cpp: has the table's layout changed?")
endif()
set(PMC10_OPTIONS_TEXT "")
foreach(row IN LISTS option_rows)
  string(REGEX REPLACE "${option_row}" "\\1" long "${row}")
  string(REGEX REPLACE "${option_row}" "\\2" short "${row}")
  string(REGEX REPLACE "${option_row}" "\\3" argument "${row}")
  string(REGEX REPLACE "${option_row}" "\\4" help "${row}")
  set(term "      ${long}")
  if(NOT short STREQUAL "0")
    string(SUBSTRING "${short}" 1 1 letter)
    set(term "  -${letter}, ${long}")
  endif()
  if(NOT argument STREQUAL "nullptr")
    string(REPLACE "\"" "" argument "${argument}")
    set(term "${term} ${argument}")
  endif()
  string(LENGTH "${term}" width)
  math(EXPR padding "28 - ${width}")
  if(padding LESS 1)
    set(padding 1)
  endif()
  string(REPEAT " " ${padding} blanks)
  # CR LF within the text too: configure_file turns only the template's own line ends.
  string(APPEND PMC10_OPTIONS_TEXT "${term}${blanks}${help}\r\n")
endforeach()
string(REGEX REPLACE "\r\n$" "" PMC10_OPTIONS_TEXT "${PMC10_OPTIONS_TEXT}")
string(REPLACE "<semicolon>" ";" PMC10_OPTIONS_TEXT "${PMC10_OPTIONS_TEXT}")
# Made on every platform, so that the tests can read it; shipped in the Windows zip.
configure_file(dist/README-windows.txt ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

set(pmc10_tools "")
foreach(tool pmc10 pmc10-sim)
  if(TARGET ${tool})
    list(APPEND pmc10_tools ${tool})
  endif()
endforeach()

if(WIN32)
  # A flat folder: the .exe files next to each other and to the README, where the WinIo
  # library is to be put as well.
  install(TARGETS ${pmc10_tools} RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt README.md LICENSE DESTINATION .)
  install(FILES ${pmc10_docs} DESTINATION docs)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME pmc10-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  install(TARGETS ${pmc10_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Documentation is compressed as Debian wants it, with gzip -9n (no name or time stamp,
  # so the package is reproducible). pmc10-sim's page and completion are links to pmc10's.
  find_program(PMC10_GZIP gzip REQUIRED)
  string(TIMESTAMP PMC10_DATE "%Y-%m-%d" UTC)
  string(TIMESTAMP PMC10_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(dist/pmc10.1.in ${PROJECT_BINARY_DIR}/pmc10.1.in @ONLY)
  configure_file(dist/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)

  # DEP-5 wants the license text indented by one space, with " ." for an empty line.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
  string(REGEX REPLACE "\n+$" "" license_text "${license_text}")
  string(REGEX REPLACE "\n([ \t]*\n)" "\n.\n" license_text "${license_text}")
  string(REGEX REPLACE "\n([ \t]*\n)" "\n.\n" license_text "${license_text}")
  string(REPLACE "\n" "\n " PMC10_LICENSE_TEXT " ${license_text}")
  set(PMC10_LICENSE_NAME "${PMC10_LICENSE}")
  configure_file(dist/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)

  set(compressed ${PROJECT_BINARY_DIR}/pmc10.1.gz ${PROJECT_BINARY_DIR}/changelog.gz)
  foreach(file IN LISTS compressed)
    string(REGEX REPLACE "\\.gz$" "" plain ${file})
    add_custom_command(OUTPUT ${file}
                       COMMAND ${PMC10_GZIP} -9nc ${plain} > ${file}
                       DEPENDS ${plain} VERBATIM)
  endforeach()
  file(CREATE_LINK pmc10.1.gz ${PROJECT_BINARY_DIR}/pmc10-sim.1.gz SYMBOLIC)

  # The manual page's synopsis, options, verbs and PORT forms and the whole completion
  # come from the tool's own tables, through a small program built from the same library.
  add_executable(pmc10_generate_docs dist/GenerateDocs.cpp)
  target_link_libraries(pmc10_generate_docs PRIVATE pmc10_core)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/pmc10.bash
    COMMAND pmc10_generate_docs ${PROJECT_SOURCE_DIR}/dist/pmc10-completion.bash.in
            ${PROJECT_BINARY_DIR}/pmc10.bash
    DEPENDS pmc10_generate_docs dist/pmc10-completion.bash.in
    COMMENT "Generating the bash completion from the tool's tables")
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/pmc10.1
    COMMAND pmc10_generate_docs ${PROJECT_BINARY_DIR}/pmc10.1.in ${PROJECT_BINARY_DIR}/pmc10.1
    DEPENDS pmc10_generate_docs ${PROJECT_BINARY_DIR}/pmc10.1.in
    COMMENT "Generating the manual page from the tool's tables")
  file(CREATE_LINK pmc10 ${PROJECT_BINARY_DIR}/pmc10-sim.bash SYMBOLIC)
  add_custom_target(dist-files ALL DEPENDS ${compressed} ${PROJECT_BINARY_DIR}/pmc10.bash)

  set(mandir ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/pmc10.1.gz ${PROJECT_BINARY_DIR}/pmc10-sim.1.gz
          DESTINATION ${mandir})
  set(completions ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${PROJECT_BINARY_DIR}/pmc10.bash DESTINATION ${completions} RENAME pmc10)
  install(FILES ${PROJECT_BINARY_DIR}/pmc10-sim.bash DESTINATION ${completions}
          RENAME pmc10-sim)
  install(FILES README.md ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${pmc10_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(FILES examples/live-rig.pmc10 DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
  # udev reads lib/udev/rules.d under /usr and under /usr/local alike.
  file(GLOB udev_rules CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/dist/60-pmc10-*.rules)
  install(FILES ${udev_rules} DESTINATION lib/udev/rules.d)

  set(CPACK_GENERATOR DEB)
  # The tarball holds the static tools when configured so; say which in its name.
  if(PMC10_STATIC)
    set(CPACK_PACKAGE_FILE_NAME
        pmc10-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}-static)
  else()
    set(CPACK_PACKAGE_FILE_NAME pmc10-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  endif()
endif()

set(CPACK_PACKAGE_NAME pmc10)
set(CPACK_PACKAGE_VENDOR "pmc10 project")
set(CPACK_PACKAGE_CONTACT "${PMC10_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
file(READ dist/description.txt CPACK_PACKAGE_DESCRIPTION)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS dist/description.txt)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PMC10_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is worked out by dpkg-shlibdeps from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# cpack refuses a .deb of static tools (Debian wants them linked against its libraries).
set(PMC10_CPACK_STATIC ${PMC10_STATIC})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/PackagingOptions.cmake)
configure_file(cmake/PackagingOptions.cmake.in ${CPACK_PROJECT_CONFIG_FILE} @ONLY)
include(CPack)
