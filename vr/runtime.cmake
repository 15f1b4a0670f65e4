# loomwork_vr_runtime: the OpenVR-shaped runtime boundary with the OpenXR runtime (Debian's
# Khronos loader) and the simulated headset behind it.
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
find_package(X11 REQUIRED)
pkg_check_modules(OPENXR REQUIRED IMPORTED_TARGET GLOBAL openxr)  # libopenxr-dev
add_library(loomwork_vr_runtime STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/vr_runtime.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/device_properties.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/simulated_headset.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_headset_system.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_pose.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/quaternion_pose.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_devices.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_timeline.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_pointer_mapping.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_desktop_input.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_eye_capture.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_eye_png.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_mesh_builder.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_render_models.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_render_model_server.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_headset.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_calls.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_views.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_controller_input.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_gl_session.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_eye_swapchains.cpp
)
target_include_directories(loomwork_vr_runtime PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(loomwork_vr_runtime PUBLIC loomwork_base loomwork_gl PkgConfig::STB
  PkgConfig::OPENXR OpenGL::GLX X11::X11)
# OpenXR structures are made the OpenXR way, naming only their type ({XR_TYPE_...}).
target_compile_options(loomwork_vr_runtime PRIVATE -Wno-missing-field-initializers)
