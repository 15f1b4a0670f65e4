# input_tests: Controls and SdlControls fed through SDL's real event queue.
loomwork_add_test(input_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/controls_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/sdl_controls_test.cpp
  LIBS loomwork_input
)
