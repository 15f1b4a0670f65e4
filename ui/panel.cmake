# loomwork_panel: the panel widgets, the icon table and the baked panel font (stb_truetype).
add_library(loomwork_panel STATIC
  ${CMAKE_CURRENT_LIST_DIR}/font_file_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel_font.cpp
  ${CMAKE_CURRENT_LIST_DIR}/panel_ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_icons.cpp
)
target_link_libraries(loomwork_panel PUBLIC loomwork_draw PkgConfig::STB)
