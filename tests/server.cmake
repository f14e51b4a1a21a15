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

ravelo_test(stream_server_guard_test
  SOURCES unit/stream_server_guard_test.cpp
  LIBS ravelo_server)

if(NOT WIN32)
  # The session over the BSD socket layer, started and stopped a thousand times.
  ravelo_test(start_stop_cycles_test
    SOURCES unit/start_stop_cycles_test.cpp
    LIBS ravelo_server ravelo_socket)

  # Pictures through the real capture and writer when the disk misbehaves.
  ravelo_test(picture_conditions_test
    SOURCES unit/picture_conditions_test.cpp
    LIBS ravelo_server ravelo_capture)
endif()
