# openxr_sim_tests: the simulated headset's OpenXR runtime through the real Khronos loader, with
# a small client making hostile calls on a real GL context (Xvfb).
# openxr_sim_hello_xr_tests: Debian's hello_xr and core validation layer on that runtime, on an
# Xorg dummy server of its own.
find_package(PkgConfig REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
find_package(X11 REQUIRED)
pkg_check_modules(OPENXR REQUIRED IMPORTED_TARGET openxr)  # libopenxr-dev
set(LOOMWORK_XR_SIM_MANIFEST_PATH ${CMAKE_BINARY_DIR}/vr/loomwork_xr_sim.json)

loomwork_add_test(openxr_sim_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_client_test.cpp
  LIBS PkgConfig::OPENXR OpenGL::GL OpenGL::GLX X11::X11 PkgConfig::STB ${CMAKE_DL_LIBS}
)
target_compile_definitions(openxr_sim_tests PRIVATE
  LOOMWORK_XR_SIM_MANIFEST="${LOOMWORK_XR_SIM_MANIFEST_PATH}"
  LOOMWORK_XR_SIM_LIBRARY="$<TARGET_FILE:loomwork_xr_sim>")
# OpenXR structures are written {XR_TYPE_...} with the rest zeroed, as the API intends.
target_compile_options(openxr_sim_tests PRIVATE -Wno-missing-field-initializers)
add_dependencies(openxr_sim_tests loomwork_xr_sim)

loomwork_add_test(openxr_sim_hello_xr_tests SERIAL
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/openxr_sim_hello_xr_test.cpp
)
target_compile_definitions(openxr_sim_hello_xr_tests PRIVATE
  LOOMWORK_XR_SIM_MANIFEST="${LOOMWORK_XR_SIM_MANIFEST_PATH}")
add_dependencies(openxr_sim_hello_xr_tests loomwork_xr_sim)
