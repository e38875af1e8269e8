# dist: the portable zip and the per-user installer, from the Clipvane target.
find_program(CLIPVANE_MAKENSIS makensis REQUIRED)
set(CLIPVANE_DIST_DIR "${CMAKE_BINARY_DIR}/dist")
set(portable "${CLIPVANE_DIST_DIR}/Clipvane-${PROJECT_VERSION}-portable.zip")
set(installer "${CLIPVANE_DIST_DIR}/Clipvane-${PROJECT_VERSION}-setup.exe")
set(readme "${PROJECT_SOURCE_DIR}/packaging/Прочтите.txt")
set(stage "${CLIPVANE_DIST_DIR}/stage/Clipvane")
file(MAKE_DIRECTORY "${CLIPVANE_DIST_DIR}/stage")

add_custom_command(OUTPUT "${portable}"
  COMMAND ${CMAKE_COMMAND} -E rm -rf "${stage}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${stage}"
  COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:Clipvane>" "${readme}" "${stage}"
  COMMAND ${CMAKE_COMMAND} -E tar cf "${portable}" --format=zip Clipvane
  WORKING_DIRECTORY "${CLIPVANE_DIST_DIR}/stage"
  DEPENDS Clipvane "${readme}"
  COMMENT "Portable zip")

add_custom_command(OUTPUT "${installer}"
  COMMAND ${CLIPVANE_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} "-DEXE=$<TARGET_FILE:Clipvane>"
    "-DREADME=${readme}" "-DOUTFILE=${installer}" "${PROJECT_SOURCE_DIR}/packaging/installer.nsi"
  DEPENDS Clipvane "${readme}" "${PROJECT_SOURCE_DIR}/packaging/installer.nsi"
  COMMENT "Installer")

add_custom_target(dist DEPENDS "${portable}" "${installer}")
set(CLIPVANE_INSTALLER "${installer}" CACHE INTERNAL "The installer that dist makes")
