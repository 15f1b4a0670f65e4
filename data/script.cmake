# script/sculpt.lua, the panel script, copied into the data tree; and the folder the panel's
# sculpture slots are saved in (the script can only write files, not make folders).
set(LOOMWORK_SCRIPT_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/script/sculpt.lua)
set(LOOMWORK_SCRIPT_OUTPUT ${LOOMWORK_DATA_DIR}/script/sculpt.lua)
add_custom_command(
  OUTPUT ${LOOMWORK_SCRIPT_OUTPUT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LOOMWORK_DATA_DIR}/script
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LOOMWORK_DATA_DIR}/sculptures
  COMMAND ${CMAKE_COMMAND} -E copy ${LOOMWORK_SCRIPT_SOURCE} ${LOOMWORK_SCRIPT_OUTPUT}
  DEPENDS ${LOOMWORK_SCRIPT_SOURCE}
  COMMENT "Copying the panel script"
  VERBATIM)
add_custom_target(loomwork-script DEPENDS ${LOOMWORK_SCRIPT_OUTPUT})
add_dependencies(loomwork-data loomwork-script)
