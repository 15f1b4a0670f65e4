// Where the panel's slots live: the user's data folder after the XDG rules, with the old place
// under the data roots found and named but left alone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app/sculpture_folder.h"
#include "file/user_folder.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/vr/runtime_test_util.h"

namespace {

using vr::sim::testing::ScopedEnvironment;

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(SculptureFolderTest, UserDataFolderFollowsXdgThenHome) {
  struct Case {
    const char* dataHome;  // null: unset
    const char* home;
    const char* folder;
  };
  const Case cases[] = {
      {"/x/data", "/home/u", "/x/data/loomwork"},
      {nullptr, "/home/u", "/home/u/.local/share/loomwork"},
      {"", "/home/u", "/home/u/.local/share/loomwork"},
      {"relative/data", "/home/u", "/home/u/.local/share/loomwork"},  // XDG wants absolute paths
      {nullptr, nullptr, ""},
      {nullptr, "relative", ""},
  };
  for (const Case& c : cases) {
    ScopedEnvironment dataHome("XDG_DATA_HOME", c.dataHome);
    ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(UserDataFolder(), c.folder) << (c.dataHome ? c.dataHome : "(unset)");
  }
}

TEST(SculptureFolderTest, SlotsGoToTheUserFolderAndOldOnesAreNamedNotMoved) {
  TempDirectory temp;
  temp.MakeDirectory("data");
  temp.MakeDirectory("data/sculptures");
  temp.WriteFile("data/sculptures/slot2.sculpt", "old");
  temp.WriteFile("data/sculptures/slot3.sculpt", "old");
  temp.MakeDirectory("home");
  ScopedEnvironment dataHome("XDG_DATA_HOME", temp.File("home").c_str());
  // slot3 is in the new folder already: only slot2 is worth a word.
  std::string error;
  ASSERT_TRUE(MakeDirectories(temp.File("home/loomwork/sculptures"), &error)) << error;
  temp.WriteFile("home/loomwork/sculptures/slot3.sculpt", "new");

  const DataRoots dataRoots = {temp.Path() + "/data/", ""};
  LogCapture log;
  const SculptureFolder folder = PrepareSculptureFolder(dataRoots);
  EXPECT_EQ(folder.folder, temp.File("home/loomwork/sculptures"));
  ASSERT_EQ(folder.roots.size(), 1u) << "a failed save must not land in the old place";
  EXPECT_EQ(folder.roots[0], temp.File("home/loomwork") + "/");
  EXPECT_TRUE(log.Contains("move slot2.sculpt from " + temp.Path() + "/data/sculptures"))
      << log.Text();
  EXPECT_FALSE(log.Contains("slot3")) << log.Text();
  EXPECT_EQ(temp.ReadFile("data/sculptures/slot2.sculpt"), "old");  // nothing moved

  // Without a usable user folder the data roots serve, as they did.
  ScopedEnvironment noDataHome("XDG_DATA_HOME", nullptr);
  ScopedEnvironment noHome("HOME", nullptr);
  const SculptureFolder fallback = PrepareSculptureFolder(dataRoots);
  EXPECT_TRUE(fallback.folder.empty());
  EXPECT_EQ(fallback.roots, dataRoots);
  EXPECT_TRUE(IsFolder(temp.File("home/loomwork/sculptures")));
}

}  // namespace
