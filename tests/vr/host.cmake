# vr_host_tests: OpenVRAppHost and the render-model manager over the simulated headset, drawing
# with the real OpenGL driver.
loomwork_add_test(vr_host_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/openvr_app_host_test.cpp
  LIBS loomwork_vr_host loomwork_shell loomwork_gl_test_support
)
target_include_directories(vr_host_tests PRIVATE ${PROJECT_SOURCE_DIR})
