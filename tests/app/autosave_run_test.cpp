// The real program keeps unsaved strokes through a kill -9: the strokes of a timeline on the
// simulated headset, the process killed the moment its autosave holds them, and the next start
// offering them back (declined here, unattended: moved aside whole).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "sculpt/voxel_grid.h"
#include "tests/support/run_process.h"
#include "tests/support/saved_sculpture.h"
#include "tests/support/temp_directory.h"

namespace {

std::vector<std::string> Environment(const TempDirectory& temp) {
  return {"XDG_STATE_HOME=" + temp.File("state"), "XDG_DATA_HOME=" + temp.Path()};
}

TEST(AutosaveRunTest, StrokesSurviveAKillAndAreOfferedAtTheNextStart) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp;
  // A stroke across the grid's middle, then nothing until the process is killed.
  temp.WriteFile("stroke.timeline",
                 "at 0\npose right 0 1.0 0.3 0 0 0\nat 2\ntrigger right 1\n"
                 "at 3\npose right 0.05 1.0 0.3 0 0 0\nat 4\npose right 0.1 1.0 0.3 0 0 0\n"
                 "at 5\ntrigger right 0\nat 100000\nquit\n");
  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  options.extraEnvironment = Environment(temp);
  options.extraEnvironment.insert(
      options.extraEnvironment.end(),
      {"LOOMWORK_VR_RUNTIME=simulated", "LOOMWORK_VR_TIMELINE=" + temp.File("stroke.timeline"),
       "LOOMWORK_VR_UNPACED=1", "LOOMWORK_VR_EYE_SIZE=216x240"});
  options.triggers = {{"Autosaved", [](int pid) { kill(pid, SIGKILL); }}};
  const ProcessResult killed = RunProcess(LOOMWORK_PATH, {"--verbose"}, options);
  ASSERT_EQ(killed.exitCode, -SIGKILL) << killed.Describe();

  const std::string autosave = temp.File("state/loomwork/autosave.sculpt");
  std::vector<SculptOp> kept;
  std::string error;
  ASSERT_TRUE(ReadSculptureRecords(autosave, &kept, &error)) << error << "\n" << killed.Describe();
  ASSERT_GE(kept.size(), 2u);
  const std::string keptBytes = FileBytes(autosave);

  // Unattended, the question is answered No: the work is moved aside whole, never deleted.
  ProcessOptions next;
  next.workingDirectory = LOOMWORK_DATA_DIR;
  next.extraEnvironment = Environment(temp);
  next.extraEnvironment.insert(next.extraEnvironment.end(),
                               {"LOOMWORK_UNATTENDED=1", "LOOMWORK_EXIT_AFTER_FRAMES=3"});
  const ProcessResult started = RunProcess(LOOMWORK_PATH, {"--novr", "--verbose"}, next);
  const std::string log = started.err + started.out;
  ASSERT_EQ(started.exitCode, 0) << started.Describe();
  EXPECT_NE(log.find("Restore the unsaved sculpture (" + std::to_string(kept.size()) +
                     " records, from "),
            std::string::npos)
      << log;
  EXPECT_FALSE(std::filesystem::exists(autosave));
  std::string aside;
  for (const auto& entry : std::filesystem::directory_iterator(temp.File("state/loomwork")))
    if (entry.path().filename().string().rfind("unsaved-", 0) == 0) aside = entry.path().string();
  ASSERT_FALSE(aside.empty()) << log;
  EXPECT_NE(log.find("kept as " + aside), std::string::npos) << log;
  EXPECT_EQ(FileBytes(aside), keptBytes);

  // What was kept replays, through the tool, to the grid of those records.
  const ProcessResult grid =
      RunProcess(LOOMWORK_TOOL_PATH, {"grid", aside, "-o", temp.File("kept.grid")});
  ASSERT_EQ(grid.exitCode, 0) << grid.Describe();
  VoxelGrid plain(kGridSize, kGridChannels);
  for (const SculptOp& op : kept) ApplyOperationToGrid(plain, op);
  const std::string bytes = FileBytes(temp.File("kept.grid"));
  ASSERT_EQ(bytes.size(), size_t(plain.channelSize) * kGridChannels * 2);
  EXPECT_EQ(std::memcmp(bytes.data(), plain.samples.data(), bytes.size()), 0);
}

}  // namespace
