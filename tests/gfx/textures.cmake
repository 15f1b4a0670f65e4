# texture_tests: image loading, KTX files, generated textures and the builder's data files, against
# the real OpenGL driver (Mesa llvmpipe under Xvfb).
loomwork_add_test(texture_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/ktx_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tex_util_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/texture_builder_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/texture_loader_test.cpp
  LIBS loomwork_gl_test_support
)
# The builder's outputs are checked where the program finds them.
target_compile_definitions(texture_tests PRIVATE LOOMWORK_DATA_DIR="${LOOMWORK_DATA_DIR}")
add_dependencies(texture_tests loomwork-textures)
