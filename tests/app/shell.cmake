# shell_test_app: a tiny application run by the real host (window, threads, desktop loop).
add_executable(shell_test_app ${CMAKE_CURRENT_SOURCE_DIR}/shell_test_app.cpp)
target_include_directories(shell_test_app PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(shell_test_app PRIVATE loomwork_shell)

# shell_tests: the interface pieces in process, and shell_test_app run under the current display.
loomwork_add_test(shell_tests
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/application_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/flags_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/quit_keys_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/shell_run_test.cpp
  LIBS loomwork_shell
)
target_compile_definitions(shell_tests PRIVATE SHELL_TEST_APP_PATH="$<TARGET_FILE:shell_test_app>")
add_dependencies(shell_tests shell_test_app)
