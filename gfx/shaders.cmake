# Shader files and the shader library.
target_sources(loomwork_draw PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/shader_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shader_library.cpp
)
