# The desktop portal backend: its pure parts from tables (unit), and the whole backend on a
# private session bus with PipeWire, WirePlumber, a stand-in portal and a test producer (e2e,
# skipped when one of them is missing).
if(WIN32)
  return()
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(PIPEWIRE_TESTS REQUIRED IMPORTED_TARGET libpipewire-0.3)

ravelo_test(portal_frame_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/portal_frame_test.cpp
  LIBS ravelo_frame_capture ravelo_capture ravelo_imaging_test_support PkgConfig::PIPEWIRE_TESTS)

ravelo_test(portal_input_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/portal_input_test.cpp
  LIBS ravelo_input_portal ravelo_input_keysyms)

ravelo_test(portal_protocol_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/portal_protocol_test.cpp
  LIBS ravelo_portal_protocol)

ravelo_test(restore_token_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/unit/restore_token_file_test.cpp
  LIBS ravelo_settings_file ravelo_imaging_test_support)

# The backend as the program builds it, driven over stdin; and the screen it is shown.
add_executable(portal_driver ${CMAKE_CURRENT_LIST_DIR}/portal/portal_driver.cpp)
target_link_libraries(portal_driver PRIVATE ravelo_portal ravelo_settings_file)
ravelo_warnings(portal_driver)
add_executable(picture_producer ${CMAKE_CURRENT_LIST_DIR}/portal/picture_producer.cpp)
target_link_libraries(picture_producer PRIVATE PkgConfig::PIPEWIRE_TESTS)
ravelo_warnings(picture_producer)

find_package(Python3 COMPONENTS Interpreter)
add_test(NAME e2e_portal COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/portal/test_portal.py)
set_tests_properties(e2e_portal PROPERTIES
  LABELS e2e
  SKIP_RETURN_CODE 77
  RUN_SERIAL TRUE
  TIMEOUT 300
  ENVIRONMENT "RAVELO_PORTAL_DRIVER=$<TARGET_FILE:portal_driver>;RAVELO_PICTURE_PRODUCER=$<TARGET_FILE:picture_producer>;PYTHONDONTWRITEBYTECODE=1")
