# Texture loading (stb_image), KTX cube maps, textures computed on the CPU and PNG files written.
target_sources(loomwork_draw PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ktx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tex_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/texture_loader.cpp
)
target_link_libraries(loomwork_draw PUBLIC PkgConfig::STB)
