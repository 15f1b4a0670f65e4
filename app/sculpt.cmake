# loomwork_app: SculptApplication, its renderer, its hands and its desktop view target; `loomwork`: the program.

add_library(loomwork_app STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/sculpt_app.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/scene_renderer.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/hand_input.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/autosave.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/autosave_recovery.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/panel_question.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sculpture_folder.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/stroke_spacing.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/orbit_camera.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/surface_pick.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/desktop_view_target.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/brush_stroke.cpp
)
target_include_directories(loomwork_app PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(loomwork_app PUBLIC
  loomwork_shell loomwork_vr_host loomwork_sculpt loomwork_panel loomwork_script loomwork_audio loomwork_draw
  loomwork_gl PkgConfig::STB)

add_executable(loomwork ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(loomwork PRIVATE loomwork_app)
# The program finds its data tree from its own folder: installed, the one packaging/ installs
# beside it; in the build tree, the built data folder. The working directory's comes first.
file(RELATIVE_PATH LOOMWORK_DATA_FROM_PROGRAM /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${CMAKE_INSTALL_DATADIR}/loomwork)
file(RELATIVE_PATH LOOMWORK_BUILT_DATA_FROM_PROGRAM ${CMAKE_CURRENT_BINARY_DIR}
     ${CMAKE_BINARY_DIR}/data)
target_compile_definitions(loomwork PRIVATE
  LOOMWORK_DATA_FROM_PROGRAM="${LOOMWORK_DATA_FROM_PROGRAM}"
  LOOMWORK_BUILT_DATA_FROM_PROGRAM="${LOOMWORK_BUILT_DATA_FROM_PROGRAM}")
