# loomwork_input: the per-frame input snapshot (Controls) and its SDL implementation.
find_package(SDL2 REQUIRED)

add_library(loomwork_input STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/controls.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sdl_controls.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/input_event_queue.cpp
)
target_include_directories(loomwork_input PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(loomwork_input PUBLIC loomwork_base)
if(TARGET SDL2::SDL2)
  target_link_libraries(loomwork_input PUBLIC SDL2::SDL2)
else()
  target_include_directories(loomwork_input PUBLIC ${SDL2_INCLUDE_DIRS})
  target_link_libraries(loomwork_input PUBLIC ${SDL2_LIBRARIES})
endif()
