// Where the panel's slots live: the user's data folder after the XDG rules, with the old place
// under the data roots found and named but left alone.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "app/sculpture_folder.h"
#include "file/user_folder.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"
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

  // Without a user folder no slot has a place: never the data roots.
  ScopedEnvironment noDataHome("XDG_DATA_HOME", nullptr);
  ScopedEnvironment noHome("HOME", nullptr);
  const SculptureFolder none = PrepareSculptureFolder(dataRoots);
  EXPECT_TRUE(none.folder.empty());
  EXPECT_TRUE(none.roots.empty());
  EXPECT_TRUE(log.Contains("neither XDG_DATA_HOME nor HOME is set")) << log.Text();
  EXPECT_TRUE(IsFolder(temp.File("home/loomwork/sculptures")));
}

// A sculptures folder that cannot be made (a file stands in its way): saves fail naming it and
// the system's reason, and nothing is written into the data tree, which a rebuild wipes.
TEST(SculptureFolderTest, SavesFailWhenTheFolderCannotBeMadeAndNeverLandInTheData) {
  TempDirectory temp;
  temp.MakeDirectory("data");
  temp.MakeDirectory("data/sculptures");
  temp.MakeDirectory("home");
  temp.WriteFile("home/loomwork", "a file, not a folder");
  ScopedEnvironment dataHome("XDG_DATA_HOME", temp.File("home").c_str());
  const DataRoots dataRoots = {temp.Path() + "/data/", ""};
  LogCapture log;
  const SculptureFolder folder = PrepareSculptureFolder(dataRoots);
  EXPECT_TRUE(log.Contains("The sculptures folder cannot be made")) << log.Text();

  VoxelGrid grid(kGridSize, kGridChannels);
  SculptDocument document(&grid, &folder.roots);
  EXPECT_FALSE(document.SaveSculpture("sculptures/slot1.sculpt"));
  EXPECT_TRUE(log.Contains(temp.File("home/loomwork/sculptures"))) << log.Text();
  EXPECT_FALSE(std::filesystem::exists(temp.File("data/sculptures/slot1.sculpt")));
  EXPECT_EQ(temp.ReadFile("home/loomwork"), "a file, not a folder");
}

}  // namespace
