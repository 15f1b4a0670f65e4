# loomwork_gl_test_support: a hidden SDL window with a real OpenGL context for tests that read
# pixels back (Mesa's llvmpipe under Xvfb on machines without a GPU).
add_library(loomwork_gl_test_support STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/gl_test_context.cpp
)
target_include_directories(loomwork_gl_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(loomwork_gl_test_support PUBLIC loomwork_gl loomwork_test_support GTest::gtest)
