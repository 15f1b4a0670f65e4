# panel_tests: the panel widgets driven by a controller the tests place and trigger, the font
# baked from the real font file, font files the baker must refuse, and the panel drawn by the
# real driver with the packed shaders and the icon atlas of the data tree (run under Xvfb).
loomwork_add_test(panel_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/font_file_check_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panel_font_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panel_render_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panel_ui_test.cpp
  LIBS loomwork_panel loomwork_gl_test_support)
target_compile_definitions(panel_tests PRIVATE LOOMWORK_DATA_DIR="${LOOMWORK_DATA_DIR}")
add_dependencies(panel_tests loomwork-data)
