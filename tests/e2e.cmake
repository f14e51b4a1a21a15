if(WIN32)
  # A helper program the e2e tests run under Wine to read and drive the server window.
  add_executable(window_driver e2e/window_driver.cpp)
  target_link_libraries(window_driver PRIVATE user32)
  set_target_properties(window_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  ravelo_warnings(window_driver)
  # A window that records the input it receives, for the remote-control tests.
  add_executable(input_recorder e2e/input_recorder.cpp)
  target_link_libraries(input_recorder PRIVATE user32 gdi32)
  set_target_properties(input_recorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  ravelo_warnings(input_recorder)
else()
  # ravelo.exe from the Windows build, driven from here; skipped (77) when it is not built.
  find_package(Python3 COMPONENTS Interpreter)
  set(RAVELO_WINDOWS_BUILD ${PROJECT_SOURCE_DIR}/build/windows CACHE PATH "Windows build tree for the e2e tests")
  file(GLOB e2e_tests ${CMAKE_CURRENT_SOURCE_DIR}/e2e/test_*.py)
  foreach(test ${e2e_tests})
    get_filename_component(name ${test} NAME_WE)
    add_test(NAME e2e_${name} COMMAND ${Python3_EXECUTABLE} ${test})
    set_tests_properties(e2e_${name} PROPERTIES
      LABELS e2e
      SKIP_RETURN_CODE 77
      RUN_SERIAL TRUE
      TIMEOUT 600
      ENVIRONMENT "RAVELO_WINDOWS_BUILD=${RAVELO_WINDOWS_BUILD};RAVELO_CLIENT=$<TARGET_FILE:ravelo-client>;PYTHONDONTWRITEBYTECODE=1")
  endforeach()

  # The native ravelo on a private X display with a window manager, driven the same way.
  file(GLOB linux_e2e_tests ${CMAKE_CURRENT_SOURCE_DIR}/e2e/linux/test_*.py)
  foreach(test ${linux_e2e_tests})
    get_filename_component(name ${test} NAME_WE)
    add_test(NAME e2e_linux_${name} COMMAND ${Python3_EXECUTABLE} ${test})
    set_tests_properties(e2e_linux_${name} PROPERTIES
      LABELS e2e
      SKIP_RETURN_CODE 77
      RUN_SERIAL TRUE
      TIMEOUT 600
      ENVIRONMENT "RAVELO_SERVER=$<TARGET_FILE:ravelo>;RAVELO_CLIENT=$<TARGET_FILE:ravelo-client>;PYTHONDONTWRITEBYTECODE=1")
  endforeach()
endif()
