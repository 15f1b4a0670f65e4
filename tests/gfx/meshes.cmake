# mesh_tests: GPU meshes and the sculpture's block buffers drawn by the real driver.
loomwork_add_test(mesh_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/mesh_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/block_upload_test.cpp
  LIBS loomwork_gl_test_support loomwork_sculpt
)
