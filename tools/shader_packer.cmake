# loomwork-shader-packer: packs the GLSL sources of data/shaders into shader files at build time.
add_executable(loomwork-shader-packer shader_packer.cpp)
target_link_libraries(loomwork-shader-packer PRIVATE loomwork_draw)
