# Installs Vellumo where a Linux desktop finds it (program, menu entry, icons,
# software-centre metadata) and makes a Debian package of it with CPack:
#   cmake --build BUILD && (cd BUILD && cpack)   ->   BUILD/vellumo_3.00_amd64.deb
include(GNUInstallDirs)

# The menu entry and the package take the name and description from the
# project, as the program does, so the window, the menu and the package cannot disagree.
set(VELLUMO_NAME "${PROJECT_NAME}")
set(VELLUMO_DESCRIPTION "${PROJECT_DESCRIPTION}")

# The project has no public home yet: vellumo.example holds its place.
set(VELLUMO_HOMEPAGE "https://vellumo.example/")
set(VELLUMO_APPSTREAM_ID "example.vellumo.Vellumo")
set(VELLUMO_RELEASE_DATE "2026-12-07")

set(VELLUMO_DESKTOP_FILE ${PROJECT_BINARY_DIR}/packaging/vellumo.desktop)
set(VELLUMO_METAINFO_FILE ${PROJECT_BINARY_DIR}/packaging/${VELLUMO_APPSTREAM_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/vellumo.desktop.in ${VELLUMO_DESKTOP_FILE} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/vellumo.metainfo.xml.in ${VELLUMO_METAINFO_FILE}
  @ONLY)

install(TARGETS vellumo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELLUMO_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELLUMO_METAINFO_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The window's own sizes go to the menu too, so menu and task bar show the
# same picture; 48 and 256 are rendered from the same SVG.
set(VELLUMO_ICON_DIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
foreach(size 16 32 64 128)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/vellumo-${size}.png
    DESTINATION ${VELLUMO_ICON_DIR}/${size}x${size}/apps RENAME vellumo.png)
endforeach()
foreach(size 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/vellumo-${size}.png
    DESTINATION ${VELLUMO_ICON_DIR}/${size}x${size}/apps RENAME vellumo.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/vellumo.svg DESTINATION ${VELLUMO_ICON_DIR}/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vellumo developers")
set(CPACK_PACKAGE_CONTACT "The Vellumo developers <developers@vellumo.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${VELLUMO_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "A small desktop text editor with one fixed window: a text area, five buttons\n"
  "and the menus File, Edit and About. It loads and saves Windows-1252 text\n"
  "files byte for byte, colours and re-fonts the selection, and prints.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_HOMEPAGE_URL ${VELLUMO_HOMEPAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its Wayland platform as a plugin, which no library dependency
# names; without it Vellumo runs on a Wayland desktop only through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
