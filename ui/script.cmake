# loomwork_script: the Lua state that runs the panel script, and the functions lent to it.
add_library(loomwork_script STATIC
  ${CMAKE_CURRENT_LIST_DIR}/lua_binding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_bindings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_host.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_limits.cpp
)
target_link_libraries(loomwork_script PUBLIC loomwork_panel loomwork_sculpt loomwork_export
  PkgConfig::LUA)
