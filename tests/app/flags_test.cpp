// The program's flags parsed in this process, as main parses them; gflags::FlagSaver puts the
// values back after each case.
#include "app/flags.h"

#include <gflags/gflags.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_directory.h"

namespace {

struct Parsed {
  DisplayMode displayMode = DisplayMode::Desktop;
  DataRoots roots;
  bool fullscreen = false;
  std::vector<std::string> remaining;  // after the program name
};

Parsed Parse(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "loomwork");
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  int argc = static_cast<int>(arguments.size());
  char** argv = pointers.data();
  ParseCommandLine(&argc, &argv);

  Parsed parsed;
  parsed.displayMode = DisplayModeFromFlags(FLAGS_vr, FLAGS_monoview);
  parsed.roots = BuildDataRoots(FLAGS_dataroot);
  parsed.fullscreen = FLAGS_fullscreen;
  for (int i = 1; i < argc; ++i) parsed.remaining.emplace_back(argv[i]);
  return parsed;
}

TEST(FlagsTest, CommandLinesGiveDisplayModeRootsAndFullscreen) {
  struct Case {
    std::vector<std::string> arguments;
    DisplayMode displayMode;
    DataRoots roots;
    bool fullscreen;
  };
  const Case cases[] = {
      {{}, DisplayMode::Stereo, {"", ""}, false},
      {{"--novr"}, DisplayMode::Desktop, {"", ""}, false},
      {{"--monoview"}, DisplayMode::MonoView, {"", ""}, false},
      {{"--novr", "--monoview"}, DisplayMode::Desktop, {"", ""}, false},
      {{"--vr=false"}, DisplayMode::Desktop, {"", ""}, false},
      {{"--fullscreen"}, DisplayMode::Stereo, {"", ""}, true},
      {{"--dataroot=dir"}, DisplayMode::Stereo, {"dir/", ""}, false},
      {{"--dataroot", "dir/"}, DisplayMode::Stereo, {"dir/", ""}, false},
      {{"--dataroot=/data/Gr\xC3\xBCn"}, DisplayMode::Stereo, {"/data/Gr\xC3\xBCn/", ""}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    gflags::FlagSaver saver;
    const Parsed parsed = Parse(c.arguments);
    EXPECT_EQ(parsed.displayMode, c.displayMode);
    EXPECT_EQ(parsed.roots, c.roots);
    EXPECT_EQ(parsed.fullscreen, c.fullscreen);
    EXPECT_TRUE(parsed.remaining.empty());
  }
}

TEST(FlagsTest, FlagsAreTakenOutAndOtherArgumentsRemain) {
  gflags::FlagSaver saver;
  const Parsed parsed = Parse({"--monoview", "scene.sculpt", "--fullscreen"});
  EXPECT_EQ(parsed.displayMode, DisplayMode::MonoView);
  EXPECT_TRUE(parsed.fullscreen);
  EXPECT_EQ(parsed.remaining, (std::vector<std::string>{"scene.sculpt"}));
}

TEST(FlagsTest, FlagsComeFromFlagFilesAndTheEnvironment) {
  {
    gflags::FlagSaver saver;
    TempDirectory directory;
    directory.WriteFile("flags.txt", "--novr\n--dataroot=from_file\n");
    const Parsed parsed = Parse({"--flagfile=" + directory.File("flags.txt")});
    EXPECT_EQ(parsed.displayMode, DisplayMode::Desktop);
    EXPECT_EQ(parsed.roots, (DataRoots{"from_file/", ""}));
  }
  {
    gflags::FlagSaver saver;
    setenv("FLAGS_monoview", "true", 1);
    setenv("FLAGS_dataroot", "from_environment", 1);
    const Parsed parsed = Parse({"--fromenv=monoview,dataroot"});
    unsetenv("FLAGS_monoview");
    unsetenv("FLAGS_dataroot");
    EXPECT_EQ(parsed.displayMode, DisplayMode::MonoView);
    EXPECT_EQ(parsed.roots, (DataRoots{"from_environment/", ""}));
  }
}

}  // namespace
