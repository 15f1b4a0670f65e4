# loomwork_vr_host: OpenVRAppHost (the VRSystem the application sees) and the render models of the
# tracked devices, over the runtime boundary.
add_library(loomwork_vr_host STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/openvr_app_host.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openvr_render_model_manager.cpp
)
target_include_directories(loomwork_vr_host PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(loomwork_vr_host PUBLIC loomwork_application loomwork_vr_runtime loomwork_draw loomwork_gl loomwork_base)
