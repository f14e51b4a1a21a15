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
  find_package(Python3 COMPONENTS Interpreter)
  set(RAVELO_WINDOWS_BUILD ${PROJECT_SOURCE_DIR}/build/windows CACHE PATH "Windows build tree for the e2e tests")
  # Each test_*.py under `dir` as <prefix><file name>; skipped (77) when what it drives is not built.
  function(ravelo_e2e_tests dir prefix environment)
    file(GLOB tests ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/test_*.py)
    foreach(test ${tests})
      get_filename_component(name ${test} NAME_WE)
      add_test(NAME ${prefix}${name} COMMAND ${Python3_EXECUTABLE} ${test})
      set_tests_properties(${prefix}${name} PROPERTIES
        LABELS e2e
        SKIP_RETURN_CODE 77
        RUN_SERIAL TRUE
        TIMEOUT 600
        ENVIRONMENT "${environment};RAVELO_CLIENT=$<TARGET_FILE:ravelo-client>;PYTHONDONTWRITEBYTECODE=1")
    endforeach()
  endfunction()
  # ravelo.exe from the Windows build, driven from here.
  ravelo_e2e_tests(e2e e2e_ "RAVELO_WINDOWS_BUILD=${RAVELO_WINDOWS_BUILD}")
  # The native ravelo on a private X display with a window manager, driven the same way.
  ravelo_e2e_tests(e2e/linux e2e_linux_ "RAVELO_SERVER=$<TARGET_FILE:ravelo>")
  # The packages scripts/package leaves in dist/, installed, run and removed.
  ravelo_e2e_tests(e2e/packages e2e_package_
    "RAVELO_WINDOWS_BUILD=${RAVELO_WINDOWS_BUILD};RAVELO_DIST=${PROJECT_SOURCE_DIR}/dist;RAVELO_VERSION=${PROJECT_VERSION}")
endif()
