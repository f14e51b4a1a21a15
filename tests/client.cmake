ravelo_test(client_test
  SOURCES unit/client_test.cpp unit/client_tool_test.cpp unit/client_picture_test.cpp
          unit/client_input_test.cpp unit/client_bench_test.cpp
  LIBS ravelo_client_lib)

# The real server and client over loopback sockets of the platform being built for.
ravelo_test(client_loopback_test
  SOURCES unit/client_loopback_test.cpp
  LIBS ravelo_client_lib ravelo_server)
