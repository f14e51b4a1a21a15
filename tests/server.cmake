ravelo_test(stream_server_test
  SOURCES unit/stream_server_test.cpp
  LIBS ravelo_server)

ravelo_test(frame_transfer_test
  SOURCES unit/frame_transfer_test.cpp
  LIBS ravelo_server)

# The platform's socket layer over loopback; natively it receives as on the BSDs.
if(WIN32)
  set(receive_shim)
else()
  set(receive_shim unit/bsd_receive_shim.cpp)
endif()
ravelo_test(socket_layer_test
  SOURCES unit/socket_layer_test.cpp ${receive_shim}
  LIBS ravelo_client_lib)
