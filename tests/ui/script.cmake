# script_tests: the script host and its functions through the real Lua interpreter, with the
# panel drawing through the real driver (run under Xvfb), real data roots in temporary folders,
# and the panel script of the data tree.
loomwork_add_test(script_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/script_document_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script_host_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/script_panel_test.cpp
  LIBS loomwork_script loomwork_gl_test_support)
target_compile_definitions(script_tests PRIVATE LOOMWORK_DATA_DIR="${LOOMWORK_DATA_DIR}")
add_dependencies(script_tests loomwork-data)
