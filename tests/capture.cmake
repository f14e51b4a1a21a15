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

if(RAVELO_BENCH AND NOT WIN32)
  find_package(benchmark REQUIRED)
  add_executable(capture_bench ${CMAKE_CURRENT_LIST_DIR}/bench/capture_bench.cpp)
  target_link_libraries(capture_bench PRIVATE ravelo_capture benchmark::benchmark)
  ravelo_warnings(capture_bench)
  add_test(NAME capture_bench COMMAND capture_bench --benchmark_min_time=0.2)
  set_tests_properties(capture_bench PROPERTIES LABELS bench)
endif()
