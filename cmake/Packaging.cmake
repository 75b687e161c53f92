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
set(PMC10_COPYRIGHT_HOLDER "the pmc10 authors"
    CACHE STRING "Copyright holder named in the package's copyright file")
set(PMC10_LICENSE "" CACHE STRING
    "License short name for the copyright file (e.g. GPL-3+); its text is read from LICENSE")

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
  configure_file(dist/README-windows.txt ${PROJECT_BINARY_DIR}/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME pmc10-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
else()
  install(TARGETS ${pmc10_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Documentation is compressed as Debian wants it, with gzip -9n (no name or time stamp,
  # so the package is reproducible). pmc10-sim's page and completion are links to pmc10's.
  find_program(PMC10_GZIP gzip REQUIRED)
  string(TIMESTAMP PMC10_DATE "%Y-%m-%d" UTC)
  string(TIMESTAMP PMC10_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(dist/pmc10.1.in ${PROJECT_BINARY_DIR}/pmc10.1 @ONLY)
  configure_file(dist/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)

  if(PMC10_LICENSE)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/LICENSE)
      message(FATAL_ERROR "PMC10_LICENSE is ${PMC10_LICENSE} but there is no LICENSE file")
    endif()
    # DEP-5 wants the text indented by one space, with " ." for an empty line.
    file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
    string(REGEX REPLACE "\n+$" "" license_text "${license_text}")
    string(REGEX REPLACE "\n([ \t]*\n)" "\n.\n" license_text "${license_text}")
    string(REGEX REPLACE "\n([ \t]*\n)" "\n.\n" license_text "${license_text}")
    string(REPLACE "\n" "\n " PMC10_LICENSE_TEXT " ${license_text}")
    set(PMC10_LICENSE_NAME "${PMC10_LICENSE}")
  else()
    # Without a license of its own the work is under plain copyright; say so rather than
    # claim one.
    set(PMC10_LICENSE_NAME all-rights-reserved)
    string(CONCAT PMC10_LICENSE_TEXT
           " No license has been granted for this work yet; all rights are reserved\n"
           " by its authors.")
  endif()
  configure_file(dist/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)

  set(compressed ${PROJECT_BINARY_DIR}/pmc10.1.gz ${PROJECT_BINARY_DIR}/changelog.gz)
  foreach(file IN LISTS compressed)
    string(REGEX REPLACE "\\.gz$" "" plain ${file})
    add_custom_command(OUTPUT ${file}
                       COMMAND ${PMC10_GZIP} -9nc ${plain} > ${file}
                       DEPENDS ${plain} VERBATIM)
  endforeach()
  file(CREATE_LINK pmc10.1.gz ${PROJECT_BINARY_DIR}/pmc10-sim.1.gz SYMBOLIC)

  # The completion's key and compound names are read from the tables' source files, not
  # from a built tool, so that a cross build makes it too.
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/pmc10.bash
    COMMAND ${CMAKE_COMMAND} -DKEYS=${PROJECT_SOURCE_DIR}/keypad/KeyCodes.cpp
            -DCOMPOUNDS=${PROJECT_SOURCE_DIR}/commands/CompoundCommands.cpp
            -DIN=${PROJECT_SOURCE_DIR}/dist/pmc10-completion.bash.in
            -DOUT=${PROJECT_BINARY_DIR}/pmc10.bash
            -P ${PROJECT_SOURCE_DIR}/dist/GenerateCompletion.cmake
    DEPENDS keypad/KeyCodes.cpp commands/CompoundCommands.cpp
            dist/pmc10-completion.bash.in dist/GenerateCompletion.cmake
    COMMENT "Generating the bash completion from the command tables")
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
