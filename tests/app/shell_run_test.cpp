// The host run for real: shell_test_app in a real SDL window on the current X display, with a
// real OpenGL context, closed by a real window-close event. Each case is one short process.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/dummy_x_server.h"
#include "tests/support/run_process.h"

namespace {

struct AppRun {
  int exitCode = -1;  // minus the signal number when the process was killed
  std::string out, err;
  std::map<std::string, std::string> values;

  std::string Value(const std::string& key) const {
    auto it = values.find(key);
    return it != values.end() ? it->second : std::string("<missing " + key + ">");
  }
  int Int(const std::string& key) const { return std::atoi(Value(key).c_str()); }
  std::string Describe() const {
    return "exit " + std::to_string(exitCode) + "\n--- stdout\n" + out + "--- stderr\n" + err;
  }
};

AppRun RunShellApp(const std::vector<std::string>& args,
                   const std::vector<std::string>& extraEnvironment = {}) {
  ProcessOptions options;
  options.extraEnvironment = extraEnvironment;
  const ProcessResult result = RunProcess(SHELL_TEST_APP_PATH, args, options);
  AppRun run;
  run.exitCode = result.exitCode;
  run.out = result.out;
  run.err = result.err;
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) run.values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return run;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ShellRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  }
};

// ---------------------------------------------------------------- desktop lifecycle

TEST_F(ShellRunTest, ClosingTheWindowShutsTheApplicationDownOnceAndExitsZero) {
  for (const char* closeWith : {"window", "quit"}) {
    SCOPED_TRACE(closeWith);
    const AppRun run = RunShellApp(
        {"--novr", "--close_after_frames=3", std::string("--close_with=") + closeWith});
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(run.Int("init_calls"), 1);
    EXPECT_GE(run.Int("frames"), 3);
    EXPECT_EQ(run.Int("shutdown_calls"), 1);
    // Init before the first frame, Shutdown after the last, nothing after Shutdown.
    EXPECT_EQ(run.Int("calls_out_of_order"), 0);
    EXPECT_EQ(run.Int("system_key_calls"), run.Int("frames"));
    EXPECT_EQ(run.Int("control_calls"), run.Int("frames"));
    EXPECT_EQ(run.Int("vr_input_seen"), 0);
    EXPECT_EQ(run.Int("controls_missing"), 0);
    // The main thread keeps the process's own name, so ps, top and pgrep find the program.
    EXPECT_EQ(run.Value("main_thread"), "shell_test_app");
    EXPECT_EQ(run.Value("client_thread"), "client");
    EXPECT_EQ(run.Int("init_audio"), 1);
    EXPECT_EQ(run.Int("client_connection"), 0) << "run mode 1 has no connection";
    EXPECT_EQ(run.Value("server_start_flag"), "-1") << "run mode 1 has no server";
  }
}

TEST_F(ShellRunTest, DesktopFramesDescribeOneViewOfTheWholeWindow) {
  const AppRun run = RunShellApp({"--novr", "--close_after_frames=3"});
  ASSERT_EQ(run.exitCode, 0) << run.Describe();
  EXPECT_EQ(run.Int("init_is_vr"), 0);
  EXPECT_EQ(run.Int("init_view_count"), 1);
  EXPECT_EQ(run.Int("init_target_is_context"), 1);
  EXPECT_EQ(run.Int("init_head_identity"), 1);
  EXPECT_EQ(run.Value("width"), "1280");
  EXPECT_EQ(run.Value("height"), "720");
  // 90 degrees horizontally; the vertical scale is the aspect at start-up.
  EXPECT_FLOAT_EQ(std::stof(run.Value("projection_0")), 1.0f);
  EXPECT_NEAR(std::stof(run.Value("projection_5")), 1280.0f / 720.0f, 1e-5f);
  // bindTarget cleared to (0.2, 0.4, 0.8, 1) and set the full viewport again although the
  // previous frame left a 7x7 one behind.
  EXPECT_EQ(run.Value("clear_pixel"), "ffcc6633");
  EXPECT_EQ(run.Value("viewport"), "0,0,1280,720");
  EXPECT_EQ(run.Value("shown_position"), "100,100");
  EXPECT_EQ(run.Int("resizable"), 1);
  EXPECT_EQ(run.Value("title"), "Loomwork shell test");
}

TEST_F(ShellRunTest, WantsQuitEndsTheFramesAndTheWindowStaysUntilClosed) {
  // The application closes the window itself, from Shutdown: the process must still be running
  // then, with its event loop waiting for the close.
  const AppRun run = RunShellApp({"--novr", "--wants_quit_after=4"});
  ASSERT_EQ(run.exitCode, 0) << run.Describe();
  EXPECT_EQ(run.Int("frames"), 4);
  EXPECT_EQ(run.Int("shutdown_calls"), 1);
  EXPECT_EQ(run.Int("calls_out_of_order"), 0);
}

TEST_F(ShellRunTest, WithoutAnOpenGLContextTheApplicationIsNeverCalled) {
  // Mesa offers at most OpenGL 3.3 here, so the 4.5 core context cannot be made.
  const AppRun run = RunShellApp({"--novr", "--close_when_shown"},
                                 {"MESA_GL_VERSION_OVERRIDE=3.3", "MESA_GLSL_VERSION_OVERRIDE=330"});
  ASSERT_EQ(run.exitCode, 0) << run.Describe();
  if (run.Int("init_calls") == 1 && !Contains(run.err, "Failed to create an OpenGL")) {
    GTEST_SKIP() << "this OpenGL driver ignores Mesa's version override";
  }
  EXPECT_TRUE(Contains(run.err, "e: No OpenGL context for the desktop window")) << run.err;
  EXPECT_EQ(run.Int("init_calls"), 0);
  EXPECT_EQ(run.Int("frames"), 0);
  EXPECT_EQ(run.Int("shutdown_calls"), 0);
}

// ---------------------------------------------------------------- display modes

TEST_F(ShellRunTest, WindowSizeFollowsTheDisplayMode) {
  struct Case {
    std::vector<std::string> flags;
    bool desktop;
    const char* size;
  };
  const Case cases[] = {
      {{"--novr"}, true, "1280x720"},
      {{"--novr", "--monoview"}, true, "1280x720"},  // monoview means nothing without VR
      {{}, false, "1280x720"},
      {{"--monoview"}, false, "720x720"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.flags;
    args.push_back(c.desktop ? "--close_after_frames=2" : "--close_when_shown");
    SCOPED_TRACE(::testing::PrintToString(args));
    const AppRun run = RunShellApp(args);
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(run.Value("shown_size"), c.size);
    if (c.desktop) {
      EXPECT_EQ(run.Value("width") + "x" + run.Value("height"), c.size);
      EXPECT_EQ(run.Int("shutdown_calls"), 1);
    } else {
      // No VR runtime is configured: the VR loop's start fails, and closing the window ends
      // the attempts before the application was ever started.
      EXPECT_TRUE(Contains(run.err, "Unable to init VR runtime")) << run.err;
      EXPECT_EQ(run.Int("init_calls"), 0);
      EXPECT_EQ(run.Int("shutdown_calls"), 0);
    }
  }
}

// On a real X server with a 1280x720 mode beside its 1920x1080 one, fullscreen switches the
// display to 1280x720 while the program runs and gives the 1920x1080 mode back at the end.
TEST_F(ShellRunTest, FullscreenSwitchesTheDisplayWhileRunningAndRestoresIt) {
  const DummyXServer server;
  if (server.Display().empty()) {
    if (geteuid() != 0) GTEST_SKIP() << "Xorg needs root here: " << server.Error();
    FAIL() << server.Error();
  }
  const std::vector<std::string> environment = {"DISPLAY=" + server.Display()};
  {
    const AppRun run =
        RunShellApp({"--novr", "--fullscreen", "--close_after_frames=3"}, environment);
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(run.Value("display_before"), "1920x1080");
    EXPECT_EQ(run.Value("display_running"), "1280x720");
    EXPECT_EQ(run.Value("width") + "x" + run.Value("height"), "1280x720");
    EXPECT_EQ(run.Value("display_after"), "1920x1080");
    EXPECT_FALSE(Contains(run.err, "w: The display has no")) << run.err;
    EXPECT_EQ(run.Int("resizable"), 0);
    EXPECT_EQ(run.Int("shutdown_calls"), 1);
    // The server itself, asked by another client once the program is gone, is back in 1920x1080.
    ProcessOptions options;
    options.extraEnvironment = environment;
    const ProcessResult randr = RunProcess("/usr/bin/xrandr", {"--current"}, options);
    EXPECT_TRUE(Contains(randr.out, "current 1920 x 1080")) << randr.Describe();
  }
  {
    SCOPED_TRACE("VR display mode");
    const AppRun run = RunShellApp({"--fullscreen", "--close_when_shown"}, environment);
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(run.Value("display_before"), "1920x1080");
    EXPECT_EQ(run.Value("display_after"), "1920x1080");
  }
}

// ---------------------------------------------------------------- run modes

TEST_F(ShellRunTest, RunModesStartTheThreadsTheyName) {
  struct Case {
    int runMode;
    const char* close;
    bool client;
    int serverStartFlag;  // -1: no server thread
  };
  const Case cases[] = {
      {0, "--close_after_ticks=5", false, 1},
      {1, "--close_after_frames=2", true, -1},
      {2, "--close_after_frames=2", true, 1},
      {3, "--close_after_frames=2", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("run mode " + std::to_string(c.runMode));
    const AppRun run = RunShellApp(
        {"--novr", "--server", "--run_mode=" + std::to_string(c.runMode), c.close});
    ASSERT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(run.Int("init_calls"), c.client ? 1 : 0);
    EXPECT_EQ(run.Int("shutdown_calls"), c.client ? 1 : 0);
    EXPECT_EQ(run.Int("server_start_flag"), c.serverStartFlag);
    const bool server = c.serverStartFlag >= 0;
    if (server) {
      EXPECT_EQ(run.Value("server_thread"), "server");
      EXPECT_GT(run.Int("server_ticks"), 0);
    }
    EXPECT_EQ(run.Int("server_stops"), server ? 1 : 0);
    EXPECT_EQ(run.Int("server_deletions"), server ? 1 : 0);
    // Only the modes with both threads share a connection, the same object on both sides.
    const bool shared = c.client && server;
    EXPECT_EQ(run.Int("client_connection"), shared ? 1 : 0);
    EXPECT_EQ(run.Int("server_connection"), shared ? 1 : 0);
    if (shared) {
      EXPECT_EQ(run.Int("same_connection"), 1);
    }
  }
}

TEST_F(ShellRunTest, MissingServerIsReportedAndTheApplicationRunsOn) {
  const AppRun run = RunShellApp({"--novr", "--run_mode=2", "--close_after_frames=3"});
  ASSERT_EQ(run.exitCode, 0) << run.Describe();
  EXPECT_TRUE(Contains(run.err, "f: Server cannot be null in this RunMode\n")) << run.err;
  EXPECT_GE(run.Int("frames"), 3);
  EXPECT_EQ(run.Int("shutdown_calls"), 1);
  EXPECT_EQ(run.Int("client_connection"), 1);
}

// ---------------------------------------------------------------- command line

TEST(ShellCommandLineTest, HelpListsTheProgramFlags) {
  const AppRun run = RunShellApp({"--help"});
  EXPECT_EQ(run.exitCode, 0) << run.Describe();
  for (const char* text : {"Enable VR mode", "Mono view (suitable for video capture)",
                           "Fullscreen", "From where to dynamically load data through the pipeline",
                           "--novr", "--dataroot=DIRECTORY"}) {
    EXPECT_TRUE(Contains(run.out, text)) << text << "\n" << run.out;
  }
  // Only the program's own: gflags' --help would list every library's flags.
  EXPECT_FALSE(Contains(run.out, "tab_completion")) << run.out;
  EXPECT_FALSE(Contains(run.out, "init_calls")) << "the host must not have run";
}

TEST(ShellCommandLineTest, BadFlagsAreReportedAndEndTheProcess) {
  struct Case {
    const char* argument;
    const char* message;
  };
  const Case cases[] = {
      {"--bogus", "unknown command line flag 'bogus'"},
      {"--vr=maybe", "illegal value 'maybe' specified for bool flag 'vr'"},
      {"--dataroot", "flag '--dataroot' is missing its argument"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    const AppRun run = RunShellApp({c.argument});
    EXPECT_EQ(run.exitCode, 1) << run.Describe();
    EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
    EXPECT_FALSE(Contains(run.out, "init_calls")) << "the host must not have run";
  }
}

}  // namespace
