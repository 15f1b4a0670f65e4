# loomwork_shell: the window and its event pump, the application and server threads, the desktop
# frame loop, the VR frame loop and the command-line flags.
find_package(gflags REQUIRED)

add_library(loomwork_shell STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/app_threads.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/desktop_loop.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/flags.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/quit_keys.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/run_application.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/thread_name.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/vr_loop.cpp
)
target_link_libraries(loomwork_shell PUBLIC
  loomwork_application loomwork_gl loomwork_input loomwork_audio_output loomwork_file loomwork_vr_host gflags
  Threads::Threads)
if(TARGET SDL2::SDL2)
  target_link_libraries(loomwork_shell PUBLIC SDL2::SDL2)
else()
  target_include_directories(loomwork_shell PUBLIC ${SDL2_INCLUDE_DIRS})
  target_link_libraries(loomwork_shell PUBLIC ${SDL2_LIBRARIES})
endif()
