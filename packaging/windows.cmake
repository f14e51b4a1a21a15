# The Windows installer: `cmake --build build/windows --target msi` writes
# dist/ravelo-VERSION-x64.msi with wixl (Debian package wixl), which runs on the build machine.
find_program(WIXL wixl)
if(WIXL)
  set(msi ${CMAKE_BINARY_DIR}/dist/ravelo-${PROJECT_VERSION}-x64.msi)
  # wixl finds the files it packs only by paths relative to where it runs.
  file(RELATIVE_PATH bin ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  add_custom_command(OUTPUT ${msi}
    COMMAND ${WIXL} -a x64 -D Version=${PROJECT_VERSION} -D BinDir=${bin} -D SourceDir=.
            -o ${msi} ${CMAKE_CURRENT_LIST_DIR}/windows/ravelo.wxs
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/windows/ravelo.wxs ${PROJECT_SOURCE_DIR}/resources/ravelo32.ico
            ravelo ravelo-client)
  add_custom_target(msi DEPENDS ${msi})
endif()
