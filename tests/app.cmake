ravelo_test(server_window_test
  SOURCES unit/server_window_test.cpp
  LIBS ravelo_shell)

if(WIN32)
  # The manifest of ravelo.exe; the test carries the same one to see what the system makes of it.
  ravelo_test(manifest_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/win/manifest_test.cpp ${CMAKE_CURRENT_LIST_DIR}/win/manifest_test.rc)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/win/manifest_test.rc PROPERTIES
    OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/resources/ravelo.manifest)
  add_dependencies(manifest_test ravelo)
  set_tests_properties(manifest_test PROPERTIES WORKING_DIRECTORY $<TARGET_FILE_DIR:ravelo>)
endif()
