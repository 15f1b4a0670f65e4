# Packs the GLSL sources of data/shaders into ${LOOMWORK_DATA_DIR}/shaders: NAME.vert becomes
# NAME.vs.bin and NAME.frag becomes NAME.fs.bin, so the library files both under the set NAME.
# The .glsl files are shared code that the stage sources include.
set(LOOMWORK_SHADER_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/shaders CACHE INTERNAL "")
set(LOOMWORK_SHADER_INCLUDES
  ${LOOMWORK_SHADER_SOURCE_DIR}/display.glsl
  ${LOOMWORK_SHADER_SOURCE_DIR}/lighting.glsl
  ${LOOMWORK_SHADER_SOURCE_DIR}/scene_constants.glsl
  CACHE INTERNAL "")
set(LOOMWORK_SHADER_SOURCES
  ${LOOMWORK_SHADER_SOURCE_DIR}/colorpicker.frag
  ${LOOMWORK_SHADER_SOURCE_DIR}/cubesky.vert
  ${LOOMWORK_SHADER_SOURCE_DIR}/cubesky.frag
  ${LOOMWORK_SHADER_SOURCE_DIR}/simpletex.vert
  ${LOOMWORK_SHADER_SOURCE_DIR}/simpletex.frag
  ${LOOMWORK_SHADER_SOURCE_DIR}/solid.vert
  ${LOOMWORK_SHADER_SOURCE_DIR}/solid.frag
  ${LOOMWORK_SHADER_SOURCE_DIR}/solidiso.vert
  ${LOOMWORK_SHADER_SOURCE_DIR}/solidiso.frag
  CACHE INTERNAL "")

set(shader_outputs)
foreach(source ${LOOMWORK_SHADER_SOURCES})
  get_filename_component(set_name ${source} NAME_WE)
  get_filename_component(extension ${source} LAST_EXT)
  if(extension STREQUAL ".vert")
    set(stage vertex)
    set(suffix vs)
  else()
    set(stage fragment)
    set(suffix fs)
  endif()
  set(output ${LOOMWORK_DATA_DIR}/shaders/${set_name}.${suffix}.bin)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LOOMWORK_DATA_DIR}/shaders
    COMMAND loomwork-shader-packer --stage ${stage} ${source} -o ${output}
    DEPENDS loomwork-shader-packer ${source} ${LOOMWORK_SHADER_INCLUDES}
    COMMENT "Packing shaders/${set_name}.${suffix}.bin"
    VERBATIM)
  list(APPEND shader_outputs ${output})
endforeach()
add_custom_target(loomwork-shaders DEPENDS ${shader_outputs})
add_dependencies(loomwork-data loomwork-shaders)
