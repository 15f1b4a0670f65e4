# gl_tests: the OpenGL back end against the real driver, reading pixels back.
loomwork_add_test(gl_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/opengl_context_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/opengl_draw_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/opengl_sampling_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/opengl_refusal_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/opengl_tables_test.cpp
  LIBS loomwork_gl_test_support
)
