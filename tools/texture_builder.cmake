# loomwork-texture-builder: generates textures/ (icon atlas, brush images, sky cube maps) and
# copies the panel font into a data tree.
add_executable(loomwork-texture-builder
  ${CMAKE_CURRENT_LIST_DIR}/texture_builder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/brush_images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/canvas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cubemap_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sky_models.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_icons.cpp
)
target_link_libraries(loomwork-texture-builder PRIVATE loomwork_panel loomwork_draw Threads::Threads)
