# Packages (CPack). scripts/package.sh makes them and checks them.
#  Linux (linux preset), two Debian packages from two install components:
#    upgrade-tool-cli  component "cli": upgrade-cli, upgrade-devsim, upgrade-mkfile, their man
#                      pages, the bash completion of upgrade-cli, the Wireshark dissector; no Qt.
#    upgrade-tool      component "window": the window, its man page, the desktop menu entry
#                      with its start script and icons; depends on upgrade-tool-cli and Qt.
#  Windows (windows preset), one zip: the four programs, README.txt and LICENSE.txt, and the
#  man pages as text (manuals\), all texts with CRLF line ends.
# The version is the project's; the Debian revision is UPGRADE_DEBIAN_REVISION, and
# packaging/changelog's latest entry must name both (scripts/package.sh checks it).
set(UPGRADE_MAINTAINER "Upgrade Tool Maintainers <maintainers@upgrade-tool.dev>")
set(UPGRADE_DEBIAN_REVISION 1)

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)
set(_cli_programs upgrade-cli upgrade-devsim upgrade-mkfile)
set(_man_pages ${_cli_programs})
if(TARGET upgrade)
  list(APPEND _man_pages upgrade)
endif()

# The man pages with the project's version in their header.
set(_man_sources)
foreach(_page IN LISTS _man_pages)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${_page}.1 ${_gen}/man/${_page}.1 @ONLY)
  list(APPEND _man_sources ${_gen}/man/${_page}.1)
endforeach()

set(CPACK_PACKAGE_NAME upgrade-tool)
set(CPACK_PACKAGE_VENDOR "The upgrade tool's authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Multicast firmware upgrade tool")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  find_program(UPGRADE_GROFF groff REQUIRED)
  set(_texts)
  foreach(_page IN LISTS _man_pages)
    add_custom_command(OUTPUT ${_gen}/manuals/${_page}.txt
                       COMMAND ${CMAKE_COMMAND} -DIN=${_gen}/man/${_page}.1 -DOUT=${_gen}/manuals/${_page}.txt
                               -DGROFF=${UPGRADE_GROFF} -P ${PROJECT_SOURCE_DIR}/cmake/textfile.cmake
                       DEPENDS ${_gen}/man/${_page}.1 ${PROJECT_SOURCE_DIR}/cmake/textfile.cmake
                       COMMENT "Manual ${_page} as text")
    list(APPEND _texts ${_gen}/manuals/${_page}.txt)
  endforeach()
  foreach(_pair "README-windows.txt;README.txt" "../LICENSE;LICENSE.txt")
    list(GET _pair 0 _in)
    list(GET _pair 1 _out)
    add_custom_command(OUTPUT ${_gen}/${_out}
                       COMMAND ${CMAKE_COMMAND} -DIN=${_pkg}/${_in} -DOUT=${_gen}/${_out}
                               -P ${PROJECT_SOURCE_DIR}/cmake/textfile.cmake
                       DEPENDS ${_pkg}/${_in} ${PROJECT_SOURCE_DIR}/cmake/textfile.cmake)
    list(APPEND _texts ${_gen}/${_out})
  endforeach()
  add_custom_target(package_texts ALL DEPENDS ${_texts})

  install(TARGETS upgrade ${_cli_programs} RUNTIME DESTINATION .)
  install(FILES ${_gen}/README.txt ${_gen}/LICENSE.txt DESTINATION .)
  foreach(_page IN LISTS _man_pages)
    install(FILES ${_gen}/manuals/${_page}.txt DESTINATION manuals)
  endforeach()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # Compressed as Debian wants them: gzip -9, no name or time stamp inside.
  set(_gz)
  foreach(_in IN LISTS _man_sources ITEMS ${_pkg}/changelog)
    get_filename_component(_name ${_in} NAME)
    add_custom_command(OUTPUT ${_gen}/gz/${_name}.gz
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${_gen}/gz
                       COMMAND sh -c [[gzip -9n -c "$1" > "$2"]] gzip ${_in} ${_gen}/gz/${_name}.gz
                       DEPENDS ${_in} VERBATIM)
    list(APPEND _gz ${_gen}/gz/${_name}.gz)
  endforeach()
  add_custom_target(package_texts ALL DEPENDS ${_gz})

  set(_dirs
      DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  # Resolve every symbol at start-up, so the relocation table can be made read-only (the
  # hardening Debian's own packages have); only the installed programs are linked so.
  foreach(_prog IN LISTS _cli_programs ITEMS upgrade)
    if(TARGET ${_prog})
      target_link_options(${_prog} PRIVATE -Wl,-z,now)
    endif()
  endforeach()

  # The command line, the simulator and the fixture builder.
  install(TARGETS ${_cli_programs} RUNTIME DESTINATION bin COMPONENT cli)
  foreach(_page IN LISTS _cli_programs)
    install(FILES ${_gen}/gz/${_page}.1.gz DESTINATION share/man/man1 COMPONENT cli)
  endforeach()
  install(FILES ${_pkg}/completion/upgrade-cli DESTINATION share/bash-completion/completions COMPONENT cli)
  install(FILES ${_pkg}/copyright DESTINATION share/doc/upgrade-tool-cli COMPONENT cli)
  install(FILES ${_gen}/gz/changelog.gz DESTINATION share/doc/upgrade-tool-cli RENAME changelog.Debian.gz COMPONENT cli)
  install(FILES ${_pkg}/README-linux.txt DESTINATION share/doc/upgrade-tool-cli RENAME README COMPONENT cli)
  install(FILES ${_pkg}/lintian/upgrade-tool-cli DESTINATION share/lintian/overrides COMPONENT cli)
  # The Wireshark dissector of the stream, where Wireshark looks for Lua plugins of the system.
  install(FILES ${_pkg}/wireshark/upgstream.lua
          DESTINATION lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/plugins COMPONENT cli)
  set(CPACK_COMPONENTS_ALL cli)

  # The window.
  if(TARGET upgrade)
    install(TARGETS upgrade RUNTIME DESTINATION bin COMPONENT window)
    install(FILES ${_gen}/gz/upgrade.1.gz DESTINATION share/man/man1 COMPONENT window)
    install(PROGRAMS ${_pkg}/upgrade-desktop DESTINATION libexec/upgrade-tool COMPONENT window)
    install(FILES ${_pkg}/upgrade-tool.desktop DESTINATION share/applications COMPONENT window)
    foreach(_size 48 128 256)
      install(FILES ${_pkg}/icons/upgrade-tool-${_size}.png DESTINATION share/icons/hicolor/${_size}x${_size}/apps
              RENAME upgrade-tool.png COMPONENT window)
    endforeach()
    install(FILES ${_pkg}/icons/upgrade-tool.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT window)
    install(FILES ${_pkg}/copyright DESTINATION share/doc/upgrade-tool COMPONENT window)
    install(FILES ${_pkg}/lintian/upgrade-tool DESTINATION share/lintian/overrides COMPONENT window)
    install(FILES ${_gen}/gz/changelog.gz DESTINATION share/doc/upgrade-tool RENAME changelog.Debian.gz COMPONENT window)
    list(APPEND CPACK_COMPONENTS_ALL window)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${UPGRADE_DEBIAN_REVISION})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${UPGRADE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_CLI_PACKAGE_NAME upgrade-tool-cli)
  string(CONCAT CPACK_DEBIAN_CLI_DESCRIPTION
      "multicast firmware upgrade tool (command line)\n"
      "Sends a firmware upgrade file to every device on a network segment at\n"
      "once, as a paced stream of UDP multicast datagrams (224.0.0.119:13456),\n"
      "pass after pass, from the network adapter the operator chooses. The file\n"
      "is inspected and verified first.\n"
      "This package holds the command line (upgrade-cli) with its bash\n"
      "completion, a simulated device that receives and verifies a stream\n"
      "(upgrade-devsim) and a builder of test upgrade files (upgrade-mkfile).\n"
      "It needs no graphical desktop.")
  set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME upgrade-tool)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS
      "upgrade-tool-cli (= ${PROJECT_VERSION}-${UPGRADE_DEBIAN_REVISION}), qt6-qpa-plugins")
  set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "fonts-noto-cjk, fonts-liberation")
  string(CONCAT CPACK_DEBIAN_WINDOW_DESCRIPTION
      "multicast firmware upgrade tool (window)\n"
      "Sends a firmware upgrade file to every device on a network segment at\n"
      "once, as a paced stream of UDP multicast datagrams (224.0.0.119:13456),\n"
      "pass after pass, from the network adapter the operator chooses. The file\n"
      "is inspected and verified first.\n"
      "This package holds the window (Qt 6), in English and Chinese, with its\n"
      "entry in the desktop menu.")
endif()
include(CPack)
