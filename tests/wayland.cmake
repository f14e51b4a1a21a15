# The Wayland backends: what needs no compositor, from tables (unit), and the wlroots backend on a
# headless sway of the test's own, watched by grim and wev (e2e, skipped without them).
if(WIN32)
  return()
endif()

ravelo_test(wayland_frame_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/wayland_frame_test.cpp
  LIBS ravelo_capture_wayland ravelo_wlroots)
ravelo_test(wayland_input_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/wayland_input_test.cpp
  LIBS ravelo_input_wayland)

# A headless sway for the e2e test and the capture benchmark.
add_library(ravelo_sway_session STATIC ${CMAKE_CURRENT_LIST_DIR}/wayland/headless_sway.cpp)
target_include_directories(ravelo_sway_session PUBLIC ${CMAKE_CURRENT_LIST_DIR}/wayland)
ravelo_warnings(ravelo_sway_session)

# Each case starts its own sway: run alone, one at a time.
add_executable(wlroots_desktop_test ${CMAKE_CURRENT_LIST_DIR}/wayland/wlroots_desktop_test.cpp)
target_include_directories(wlroots_desktop_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/bench)
target_link_libraries(wlroots_desktop_test PRIVATE ravelo_wlroots ravelo_sway_session ravelo_imaging_test_support
                                                   ravelo_fakes GTest::gtest_main)
ravelo_warnings(wlroots_desktop_test)
gtest_discover_tests(wlroots_desktop_test PROPERTIES LABELS e2e RUN_SERIAL TRUE TIMEOUT 60 DISCOVERY_TIMEOUT 60)

if(RAVELO_BENCH)
  # Not a Google Benchmark: it runs a headless sway and an Xvfb side by side.
  add_executable(wayland_capture_bench ${CMAKE_CURRENT_LIST_DIR}/bench/wayland_capture_bench.cpp)
  target_include_directories(wayland_capture_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/bench)
  target_link_libraries(wayland_capture_bench PRIVATE ravelo_wlroots ravelo_sway_session ravelo_capture_x11
                                                      ravelo_x11_test_display)
  ravelo_warnings(wayland_capture_bench)
endif()
