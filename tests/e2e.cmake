if(WIN32)
  # A helper program the e2e tests run under Wine to read and drive the server window.
  add_executable(window_driver e2e/window_driver.cpp)
  target_link_libraries(window_driver PRIVATE user32)
  set_target_properties(window_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  ravelo_warnings(window_driver)
endif()
