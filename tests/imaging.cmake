# Image surface tests. The same sources run natively against the memory drawer (unit) and,
# cross-built, under Wine against GDI and GDI+ (win).
if(WIN32)
  set(RAVELO_IMAGING_DECODER ${CMAKE_CURRENT_LIST_DIR}/win/imaging_decode_gdiplus.cpp)
else()
  set(RAVELO_IMAGING_DECODER ${CMAKE_CURRENT_LIST_DIR}/fakes/imaging_decode_turbojpeg.cpp)
endif()

add_library(ravelo_imaging_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/fakes/imaging_test_support.cpp
  ${RAVELO_IMAGING_DECODER}
)
target_include_directories(ravelo_imaging_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/fakes)
target_link_libraries(ravelo_imaging_test_support PUBLIC ravelo_imaging)
ravelo_warnings(ravelo_imaging_test_support)

ravelo_test(imaging_image_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/imaging_image_test.cpp
  LIBS ravelo_imaging_test_support)

if(NOT WIN32)
  # Exact averages and scripted library answers are properties of the memory drawer.
  ravelo_test(imaging_soft_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/imaging_halftone_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/unit/imaging_save_steps_test.cpp
    LIBS ravelo_imaging_test_support)
endif()

ravelo_bench(imaging_bench
  SOURCE ${CMAKE_CURRENT_LIST_DIR}/bench/imaging_bench.cpp
  LIBS ravelo_imaging)
