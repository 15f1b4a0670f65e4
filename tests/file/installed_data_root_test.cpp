#include "file/installed_data_root.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/support/temp_directory.h"

namespace {

// The path from this test program's folder to an absolute path, as an install layout gives it.
std::string FromProgramFolder(const std::string& absolute) {
  char buffer[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  std::string up;
  for (ssize_t i = 1; i < length; ++i) {
    if (buffer[i] == '/') up += "../";
  }
  return up + absolute.substr(1);
}

// The flag first, then a working directory that holds a data tree, and only then the first tree
// found beside the program.
TEST(InstalledDataRootTest, FlagThenWorkingDirectoryThenBesideProgram) {
  TempDirectory temp;
  temp.MakeDirectory("cwd_with_tree");
  temp.MakeDirectory("cwd_with_tree/script");
  temp.WriteFile("cwd_with_tree/script/sculpt.lua", "");
  temp.MakeDirectory("cwd_without_tree");
  temp.MakeDirectory("share");
  temp.MakeDirectory("share/script");
  temp.WriteFile("share/script/sculpt.lua", "");
  const std::string installed = FromProgramFolder(temp.File("share"));
  const std::string absent = FromProgramFolder(temp.File("nothing"));
  ASSERT_EQ(DataRootBesideProgram(installed), temp.File("share") + "/");

  struct Case {
    const char* flag;
    const char* workingDirectory;
    std::vector<std::string> relativePaths;
    std::string expected;
  } cases[] = {
      {"given", "cwd_without_tree", {installed}, "given"},
      {"", "cwd_with_tree", {installed}, ""},
      {"", "cwd_without_tree", {installed}, temp.File("share") + "/"},
      {"", "cwd_without_tree", {absent, installed}, temp.File("share") + "/"},
      {"", "cwd_without_tree", {absent}, ""},
  };
  char previous[PATH_MAX] = {};
  ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
  for (const Case& c : cases) {
    ASSERT_EQ(chdir(temp.File(c.workingDirectory).c_str()), 0);
    EXPECT_EQ(EffectiveDataRoot(c.flag, c.relativePaths), c.expected)
        << "flag '" << c.flag << "' in " << c.workingDirectory;
  }
  ASSERT_EQ(chdir(previous), 0);
}

}  // namespace
