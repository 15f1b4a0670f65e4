# vr_runtime_tests: the VR boundary, the OpenXR host's mapping and the simulated headset; the eye captures read real GL
# textures (Mesa's llvmpipe under Xvfb) and real PNG files.
loomwork_add_test(vr_runtime_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/runtime_boundary_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sim_devices_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sim_timeline_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sim_pointer_mapping_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sim_render_models_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sim_eye_capture_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sim_desktop_input_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/openxr_mapping_test.cpp
  LIBS loomwork_vr_runtime loomwork_gl_test_support PkgConfig::STB
)
