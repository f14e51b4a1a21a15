# What `cmake --install` puts under the prefix, and the Debian package CPack makes of it
# (`cpack -G DEB` in a release build: ravelo_VERSION_amd64.deb, installed under /usr).
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(linux ${CMAKE_CURRENT_LIST_DIR}/linux)
set(staged ${CMAKE_BINARY_DIR}/packaging)

install(TARGETS ravelo ravelo-client RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${linux}/ravelo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icons, drawn at each size by the script that draws the program's own.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(icons)
foreach(size 16 32 48 64 128 256)
  set(icon ${staged}/icons/${size}/ravelo.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${staged}/icons/${size}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/make_icons.py --png ${size} ${icon}
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make_icons.py)
  list(APPEND icons ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Manual pages and the changelog go compressed, without a time stamp (gzip -n), as Debian wants.
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(page ravelo ravelo-client)
  configure_file(${linux}/${page}.1 ${staged}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${staged}/${page}.1.gz
    COMMAND ${GZIP} -9nf -k ${staged}/${page}.1
    DEPENDS ${staged}/${page}.1)
  list(APPEND compressed ${staged}/${page}.1.gz)
  install(FILES ${staged}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
configure_file(${linux}/changelog ${staged}/changelog COPYONLY)
add_custom_command(OUTPUT ${staged}/changelog.gz
  COMMAND ${GZIP} -9nf -k ${staged}/changelog
  DEPENDS ${staged}/changelog)
list(APPEND compressed ${staged}/changelog.gz)
install(FILES ${staged}/changelog.gz ${linux}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_target(package_files ALL DEPENDS ${icons} ${compressed})

# The changelog's newest entry names the version being built: a new version needs a new entry.
file(STRINGS ${linux}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^ravelo \\(${PROJECT_VERSION}\\)")
  message(WARNING "packaging/linux/changelog has no entry for ${PROJECT_VERSION} at its top")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Ravelo team <ravelo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serves this X11 desktop to a remote client with a small screen")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Ravelo listens on UDP port 8888 and serves one remote client whose
screen is 256x192 pixels: on request it captures the desktop (all of it
scaled down, or an unscaled piece), sends it as a JPEG picture in small
chunks, and injects the client's pointer moves, button presses and key
codes into the X11 session. It runs from a small window with a status
log, a password, a tray icon and choices to serve as soon as it starts
and to start with the user's session.
.
The package also holds ravelo-client, which talks to the server as the
remote client does, for scripts and tests.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # the libraries the binaries link, as dpkg-shlibdeps reads them
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/dist)
include(CPack)
