# loomwork_vr_runtime: the entry points of the OpenVR-shaped runtime boundary, which start the
# OpenXR runtime (vr/openxr) or the simulated headset (vr/simulated) behind it.
add_library(loomwork_vr_runtime STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/vr_runtime.cpp
)
target_include_directories(loomwork_vr_runtime PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(loomwork_vr_runtime PUBLIC loomwork_vr_openxr loomwork_vr_simulated
  loomwork_sim_headset loomwork_vr_api loomwork_base loomwork_gl PkgConfig::STB)
# The OpenXR headset's header makes OpenXR structures the OpenXR way ({XR_TYPE_...}).
target_compile_options(loomwork_vr_runtime PRIVATE -Wno-missing-field-initializers)
