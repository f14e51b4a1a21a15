ravelo_test(server_window_test
  SOURCES unit/server_window_test.cpp
  LIBS ravelo_shell)
