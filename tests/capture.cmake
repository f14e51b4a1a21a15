# Desktop capture tests: natively against a desktop held in memory (unit); cross-built,
# under Wine against the real desktop, GDI and GDI+ (win).
if(NOT WIN32)
  ravelo_test(capture_desktop_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/capture_desktop_test.cpp
    LIBS ravelo_capture ravelo_imaging_test_support)
endif()

if(WIN32)
  ravelo_test(capture_gdi_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/win/capture_gdi_test.cpp
    LIBS ravelo_capture ravelo_imaging_test_support)
endif()

ravelo_bench(capture_bench
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/bench/capture_bench.cpp
  LIBS ravelo_capture)

if(WIN32)
  # Not a test: a timing of the capture's steps on the real desktop (see the README).
  add_executable(capture_timing ${CMAKE_CURRENT_LIST_DIR}/bench/capture_timing.cpp)
  target_link_libraries(capture_timing PRIVATE ravelo_capture)
  set_target_properties(capture_timing PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  ravelo_warnings(capture_timing)
endif()
