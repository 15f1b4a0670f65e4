# loomwork_xr_sim: the simulated headset as an OpenXR runtime that the Khronos loader loads into
# any OpenXR application (XR_RUNTIME_JSON=<build>/vr/loomwork_xr_sim.json). It shares the
# headset's options, devices, poses, timeline and eye-image writer with the in-process headset;
# those sources are compiled again here, position-independent, and stay private to the library.
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
find_package(X11 REQUIRED)
add_library(loomwork_xr_sim SHARED
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_runtime.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_session.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_frame.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_actions.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_gl.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_pose.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/quaternion_pose.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_devices.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_timeline.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_pointer_mapping.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sim_eye_png.cpp
  ${PROJECT_SOURCE_DIR}/gfx/png_file.cpp
  ${PROJECT_SOURCE_DIR}/file/file_util.cpp
  ${PROJECT_SOURCE_DIR}/file/atomic_file_writer.cpp
  ${PROJECT_SOURCE_DIR}/base/log.cpp
  ${PROJECT_SOURCE_DIR}/base/timing.cpp
  ${PROJECT_SOURCE_DIR}/base/math_types.cpp
)
target_include_directories(loomwork_xr_sim PRIVATE ${PROJECT_SOURCE_DIR})
# A runtime is loaded into applications built without the sanitizers (hello_xr), where an
# instrumented library cannot load: the sanitizer and fuzz builds leave it uninstrumented.
get_target_property(LOOMWORK_XR_SIM_OPTIONS loomwork_xr_sim COMPILE_OPTIONS)
list(FILTER LOOMWORK_XR_SIM_OPTIONS EXCLUDE REGEX "sanitize")
set_target_properties(loomwork_xr_sim PROPERTIES COMPILE_OPTIONS "${LOOMWORK_XR_SIM_OPTIONS}"
  LINK_OPTIONS "")
# Only xrNegotiateLoaderRuntimeInterface is exported; the library's own calls stay inside it.
set_target_properties(loomwork_xr_sim PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON POSITION_INDEPENDENT_CODE ON)
target_link_options(loomwork_xr_sim PRIVATE "LINKER:--no-undefined" "LINKER:--exclude-libs,ALL"
  "LINKER:-Bsymbolic" "LINKER:--version-script=${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim.map")
set_property(TARGET loomwork_xr_sim APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim.map)
target_link_libraries(loomwork_xr_sim PRIVATE OpenGL::GLX OpenGL::OpenGL X11::X11
  PkgConfig::STB Threads::Threads)

# The runtime manifest beside the library; the loader resolves the relative path against it.
set(LOOMWORK_XR_SIM_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/loomwork_xr_sim.json)
file(GENERATE OUTPUT ${LOOMWORK_XR_SIM_MANIFEST} CONTENT "{
    \"file_format_version\": \"1.0.0\",
    \"runtime\": {
        \"name\": \"Loomwork simulated headset\",
        \"library_path\": \"./$<TARGET_FILE_NAME:loomwork_xr_sim>\"
    }
}
")
install(TARGETS loomwork_xr_sim LIBRARY DESTINATION lib/loomwork)
install(FILES ${LOOMWORK_XR_SIM_MANIFEST} DESTINATION lib/loomwork)
