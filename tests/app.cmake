ravelo_test(server_window_test
  SOURCES unit/server_window_test.cpp
  LIBS ravelo_shell)

ravelo_test(settings_store_test
  SOURCES unit/settings_store_test.cpp
  LIBS ravelo_shell)

ravelo_test(tray_icon_test
  SOURCES unit/tray_icon_test.cpp
  LIBS ravelo_shell)
