# sculpt_app_tests: SculptApplication's input handling and VR frames in process, and the real loomwork program
# run from the built data tree under the display.
loomwork_add_test(sculpt_app_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/sculpt_app_controls_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sculpt_app_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sculpt_app_vr_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/vr_session_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/openxr_faults_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sculpture_folder_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/autosave_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/autosave_run_test.cpp
  LIBS loomwork_app loomwork_gl_test_support loomwork_saved_sculpture_support PkgConfig::STB
)
target_include_directories(sculpt_app_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(sculpt_app_tests PRIVATE
  LOOMWORK_PATH="$<TARGET_FILE:loomwork>" LOOMWORK_DATA_DIR="${LOOMWORK_DATA_DIR}"
  LOOMWORK_TOOL_PATH="$<TARGET_FILE:loomwork-tool>"
  LOOMWORK_XR_SIM_MANIFEST="${CMAKE_BINARY_DIR}/xr_runtime/loomwork_xr_sim.json")
add_dependencies(sculpt_app_tests loomwork loomwork-data loomwork_xr_sim loomwork-tool)

# sculpt_app_input_tests: the program driven by X input events, on the desktop and on the
# simulated headset. Alone on the display: another test's window could lie above this one and
# hold the focus.
loomwork_add_test(sculpt_app_input_tests SERIAL
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/sculpt_app_input_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/desktop_sculpt_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/vr_mouse_test.cpp
  LIBS loomwork_vr_runtime loomwork_sculpt loomwork_saved_sculpture_support PkgConfig::STB
)
target_include_directories(sculpt_app_input_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(sculpt_app_input_tests PRIVATE
  LOOMWORK_PATH="$<TARGET_FILE:loomwork>" LOOMWORK_DATA_DIR="${LOOMWORK_DATA_DIR}")
add_dependencies(sculpt_app_input_tests loomwork loomwork-data)
