# Desktop capture tests: natively against a desktop held in memory (unit) and the X11 capture
# on a private Xvfb; cross-built, under Wine against the real desktop, GDI and GDI+ (win).
ravelo_bench(capture_bench
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/bench/capture_bench.cpp
  LIBS ravelo_capture)

if(WIN32)
  ravelo_test(capture_gdi_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/win/capture_gdi_test.cpp
    LIBS ravelo_capture ravelo_imaging_test_support)

  # Not a test: a timing of the capture's steps on the real desktop (see the README).
  add_executable(capture_timing ${CMAKE_CURRENT_LIST_DIR}/bench/capture_timing.cpp)
  target_link_libraries(capture_timing PRIVATE ravelo_capture)
  set_target_properties(capture_timing PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  ravelo_warnings(capture_timing)
  return()
endif()

ravelo_test(capture_desktop_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/capture_desktop_test.cpp
  LIBS ravelo_capture ravelo_imaging_test_support)

# The view's composition (every Linux capture's), against the software capture of the same screen.
ravelo_test(view_picture_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/view_picture_test.cpp
  LIBS ravelo_capture ravelo_capture_x11 ravelo_imaging_test_support)

# A private Xvfb for the X11 tests and the capture benchmark.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB_TESTS REQUIRED IMPORTED_TARGET xcb xcb-shm)
add_library(ravelo_x11_test_display STATIC ${CMAKE_CURRENT_LIST_DIR}/x11/x11_test_display.cpp)
target_include_directories(ravelo_x11_test_display PUBLIC ${CMAKE_CURRENT_LIST_DIR}/x11)
target_link_libraries(ravelo_x11_test_display PUBLIC PkgConfig::XCB_TESTS)
ravelo_warnings(ravelo_x11_test_display)

# The X11 capture on a private Xvfb (skipped when there is none).
pkg_check_modules(XCB_XFIXES_TESTS REQUIRED IMPORTED_TARGET xcb-xfixes)
ravelo_test(x11_capture_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/x11/x11_capture_test.cpp
  LIBS ravelo_capture ravelo_capture_x11 ravelo_imaging_test_support ravelo_x11_test_display
       PkgConfig::XCB_XFIXES_TESTS
  LABEL e2e)

if(RAVELO_BENCH)
  # Not a Google Benchmark: it runs ffmpeg beside the capture, round by round.
  add_executable(x11_capture_bench ${CMAKE_CURRENT_LIST_DIR}/bench/x11_capture_bench.cpp)
  target_link_libraries(x11_capture_bench PRIVATE ravelo_capture_x11 ravelo_x11_test_display)
  ravelo_warnings(x11_capture_bench)
endif()
