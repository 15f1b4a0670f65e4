# Shader files, the shader library, the packer, and the shader sources themselves. The OpenGL
# cases draw on the real driver and skip without a display (run them under Xvfb).
find_program(LOOMWORK_GLSLANG_VALIDATOR glslangValidator REQUIRED)

loomwork_add_test(shader_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/shader_file_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shader_packer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shader_contract_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shader_library_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/shader_render_test.cpp
  LIBS loomwork_draw loomwork_gl_test_support)
target_compile_definitions(shader_tests PRIVATE
  LOOMWORK_SHADER_PACKER="$<TARGET_FILE:loomwork-shader-packer>"
  LOOMWORK_SHADER_SOURCE_DIR="${LOOMWORK_SHADER_SOURCE_DIR}"
  LOOMWORK_DATA_DIR="${LOOMWORK_DATA_DIR}"
  GLSLANG_VALIDATOR="${LOOMWORK_GLSLANG_VALIDATOR}")
add_dependencies(shader_tests loomwork-shader-packer loomwork-shaders)

# Every stage source compiles, and every pipeline's two stages link (their interfaces match), in
# the reference compiler: a syntax error fails the test run, not only the program at start-up.
foreach(source ${LOOMWORK_SHADER_SOURCES})
  get_filename_component(name ${source} NAME)
  add_test(NAME shader_source_validate.${name}
    COMMAND ${LOOMWORK_GLSLANG_VALIDATOR} -l ${source})
endforeach()
# The pipelines as vertex:fragment source pairs; the colour picker borrows simpletex's vertex stage.
set(shader_pipelines
  solid:solid solidiso:solidiso simpletex:simpletex simpletex:colorpicker cubesky:cubesky)
foreach(pair ${shader_pipelines})
  string(REPLACE ":" ";" stages ${pair})
  list(GET stages 0 vertex)
  list(GET stages 1 fragment)
  add_test(NAME shader_sources_link.${vertex}+${fragment}
    COMMAND ${LOOMWORK_GLSLANG_VALIDATOR} -l
      ${LOOMWORK_SHADER_SOURCE_DIR}/${vertex}.vert ${LOOMWORK_SHADER_SOURCE_DIR}/${fragment}.frag)
endforeach()

