# Input injection: natively through the session with a recording sink (unit) and the X11
# sink, its tables without a display (unit) and on a private Xvfb watched by a plain X client
# (e2e, skipped without Xvfb); cross-built, the SendInput sink under Wine (win).
if(WIN32)
  ravelo_test(input_sink_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/win/input_sink_test.cpp
    LIBS ravelo_input_sink)
else()
  ravelo_test(input_inject_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/input_inject_test.cpp
    LIBS ravelo_server)
  ravelo_test(x11_keys_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/x11_keys_test.cpp
    LIBS ravelo_input_x11)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(X11_TESTS REQUIRED IMPORTED_TARGET x11)
  ravelo_test(x11_input_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11/x11_input_test.cpp
    LIBS ravelo_input_x11 ravelo_x11_test_display PkgConfig::X11_TESTS
    LABEL e2e)
endif()
