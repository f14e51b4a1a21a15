ravelo_test(server_window_test
  SOURCES unit/server_window_test.cpp
  LIBS ravelo_shell)

ravelo_test(settings_store_test
  SOURCES unit/settings_store_test.cpp
  LIBS ravelo_shell)

ravelo_test(tray_icon_test
  SOURCES unit/tray_icon_test.cpp
  LIBS ravelo_shell)

if(WIN32)
  ravelo_test(shell_backends_test
    SOURCES win/shell_backends_test.cpp ${PROJECT_SOURCE_DIR}/resources/ravelo.rc
    LIBS ravelo_shell_win32)

  # The manifest and the version resource built into ravelo.exe.
  ravelo_test(manifest_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/win/manifest_test.cpp LIBS version)
  add_dependencies(manifest_test ravelo)
  set_tests_properties(manifest_test PROPERTIES WORKING_DIRECTORY $<TARGET_FILE_DIR:ravelo>)
endif()

if(NOT WIN32)
  ravelo_test(file_settings_test
    SOURCES unit/file_settings_test.cpp
    LIBS ravelo_settings_file)

  # The pure logic of the GTK window; it needs no display.
  ravelo_test(gtk_window_test
    SOURCES unit/gtk_window_test.cpp
    LIBS ravelo_shell_gtk)
  target_compile_definitions(gtk_window_test PRIVATE RAVELO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

  ravelo_test(status_notifier_test
    SOURCES unit/status_notifier_test.cpp
    LIBS ravelo_shell_gtk)
endif()

ravelo_test(command_line_test
  SOURCES unit/command_line_test.cpp
  LIBS ravelo_shell)

ravelo_test(autostart_test
  SOURCES unit/autostart_test.cpp
  LIBS ravelo_shell)

if(NOT WIN32)
  # The autostart file, read back through GLib's own desktop-entry and shell parsers.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GLIB2 REQUIRED IMPORTED_TARGET glib-2.0)
  ravelo_test(xdg_autostart_test
    SOURCES unit/xdg_autostart_test.cpp
    LIBS ravelo_settings_file PkgConfig::GLIB2)
endif()
