# vr_runtime_tests: the VR boundary's entry points over the simulated headset.
loomwork_add_test(vr_runtime_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/runtime_boundary_test.cpp
  LIBS loomwork_vr_runtime loomwork_gl_test_support PkgConfig::STB
)
