# Installation and packages: the tools, the manual page, the bash completion, the .deb.
# Installation: the tool, its manual page and its bash completion.
include(GNUInstallDirs)
install(TARGETS pmc10 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
  install(TARGETS pmc10-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  string(TIMESTAMP PMC10_DATE "%Y-%m-%d" UTC)
  configure_file(dist/pmc10.1.in ${PROJECT_BINARY_DIR}/pmc10.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pmc10.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/pmc10.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          RENAME pmc10-sim.1)

  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/pmc10.bash
    COMMAND ${CMAKE_COMMAND} -DSIM=$<TARGET_FILE:pmc10-sim>
            -DIN=${PROJECT_SOURCE_DIR}/dist/pmc10-completion.bash.in
            -DOUT=${PROJECT_BINARY_DIR}/pmc10.bash
            -P ${PROJECT_SOURCE_DIR}/dist/GenerateCompletion.cmake
    DEPENDS pmc10-sim dist/pmc10-completion.bash.in dist/GenerateCompletion.cmake
    COMMENT "Generating the bash completion from the command tables")
  add_custom_target(completion ALL DEPENDS ${PROJECT_BINARY_DIR}/pmc10.bash)
  foreach(command pmc10 pmc10-sim)
    install(FILES ${PROJECT_BINARY_DIR}/pmc10.bash
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${command})
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pmc10)
set(CPACK_PACKAGE_CONTACT "pmc10 maintainers <pmc10@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
include(CPack)
