ravelo_test(stream_server_test
  SOURCES unit/stream_server_test.cpp
  LIBS ravelo_server)
