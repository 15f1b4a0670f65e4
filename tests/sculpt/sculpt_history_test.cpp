// Undo, redo and scrubbing: after any of them the grid must be, bit for bit, what the operation log
// replays to, whichever way the history got there (before-images, checkpoints or replay).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "../support/log_capture.h"
#include "../support/temp_directory.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpt_history.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/sculpt/sculpt_test_util.h"

namespace {

using sculpttest::Sphere;

struct Fixture : sculpttest::DocumentFixture {
  // The reference: a fresh grid that replays the log from empty.
  VoxelGrid replayed{kGridSize, kGridChannels};

  explicit Fixture(size_t budget = SculptHistory::kDefaultBudgetBytes) {
    doc.EnableHistory(budget);
  }
  // A stroke: one unit of `records` records along a line, the way frames deliver them.
  void Stroke(std::mt19937& rng, int records) {
    std::uniform_real_distribution<float> at(20.0f, 172.0f), radius(3.0f, 12.0f);
    std::uniform_int_distribution<int> mode(0, 3);
    static constexpr int kModes[] = {kStampAdd, kStampSubtract, kStampBuff, kStampSandpaper};
    const Vec3 start = {at(rng), at(rng), at(rng)};
    const float r = radius(rng);
    const int m = kModes[mode(rng)];
    for (int i = 0; i < records; ++i) {
      std::vector<SculptOp> frame = {Sphere(start + Vec3{float(i), 0.5f * float(i), 0}, r, m,
                                            m == kStampSubtract ? 1u : 63u, float(i % 7) / 7)};
      doc.ApplyFrame(frame);
    }
    std::vector<SculptOp> released;
    doc.ApplyFrame(released);
  }
  // The grid equals a fresh replay of the log.
  ::testing::AssertionResult MatchesReplay() {
    replayed.ClearChannels(kAllChannels);
    for (const SculptOp& op : doc.OperationLog()) ApplyOperationToGrid(replayed, op);
    const size_t bytes = size_t(grid.channelSize) * kGridChannels * sizeof(int16_t);
    if (std::memcmp(grid.samples.data(), replayed.samples.data(), bytes) == 0)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "grid differs from the replay of its "
                                         << doc.OperationLog().size() << " records";
  }
};

TEST(SculptHistory, UndoRedoAndANewStrokeAfterUndo) {
  Fixture f;
  std::mt19937 rng(1);
  f.Stroke(rng, 30);
  const std::vector<SculptOp> afterFirst = f.doc.OperationLog();
  f.Stroke(rng, 20);
  ASSERT_EQ(f.doc.OperationLog().size(), 50u);
  ASSERT_EQ(f.doc.History()->UnitCount(), 2u);

  ASSERT_TRUE(f.doc.Undo());
  EXPECT_EQ(f.doc.OperationLog().size(), 30u);
  EXPECT_TRUE(f.MatchesReplay());
  ASSERT_TRUE(f.doc.Undo());
  EXPECT_TRUE(f.doc.OperationLog().empty());
  EXPECT_TRUE(f.MatchesReplay());
  LogCapture log;
  EXPECT_FALSE(f.doc.Undo());
  EXPECT_TRUE(log.Contains("Undo: nothing to undo"));

  ASSERT_TRUE(f.doc.Redo());
  EXPECT_EQ(f.doc.OperationLog().size(), 30u);
  EXPECT_EQ(std::memcmp(f.doc.OperationLog().data(), afterFirst.data(), 30 * sizeof(SculptOp)), 0);
  EXPECT_TRUE(f.MatchesReplay());

  // A new stroke here drops what was undone.
  f.Stroke(rng, 5);
  EXPECT_EQ(f.doc.OperationLog().size(), 35u);
  EXPECT_EQ(f.doc.History()->UnitCount(), 2u);
  EXPECT_FALSE(f.doc.Redo());
  EXPECT_TRUE(log.Contains("Redo: nothing to redo"));
  EXPECT_TRUE(f.MatchesReplay());

  // Saving after an undo writes the log as it stands.
  ASSERT_TRUE(f.doc.Undo());
  ASSERT_TRUE(f.doc.SaveSculpture("s.sculpt"));
  EXPECT_EQ(f.dir.ReadFile("s.sculpt").size(), 12u + 30u * sizeof(SculptOp));
}

// New, a scene and a load each replace the sculpture as one unit; undo brings back what was there.
TEST(SculptHistory, ReplacingActionsAreOneUnitEach) {
  Fixture f;
  std::mt19937 rng(2);
  f.Stroke(rng, 10);
  ASSERT_TRUE(f.doc.SaveSculpture("ten.sculpt"));
  f.Stroke(rng, 10);
  f.doc.NewSculpture();
  EXPECT_TRUE(f.doc.OperationLog().empty());
  ASSERT_TRUE(f.doc.Undo());
  EXPECT_EQ(f.doc.OperationLog().size(), 20u);
  EXPECT_TRUE(f.MatchesReplay());

  ASSERT_TRUE(f.doc.Redo());  // New again
  EXPECT_TRUE(f.doc.OperationLog().empty());
  EXPECT_TRUE(f.MatchesReplay());

  BuildTestScene(f.doc, "default");
  EXPECT_EQ(f.doc.OperationLog().size(), 4u);
  f.Stroke(rng, 3);
  ASSERT_TRUE(f.doc.LoadSculpture("ten.sculpt", 4));  // a replay, 4 records a frame
  std::vector<SculptOp> none;
  f.doc.ApplyFrame(none);
  EXPECT_EQ(f.doc.ReplayQueue().size(), 6u);
  // Undo during the replay finishes it and takes back the whole load.
  ASSERT_TRUE(f.doc.Undo());
  EXPECT_TRUE(f.doc.ReplayQueue().empty());
  EXPECT_EQ(f.doc.OperationLog().size(), 7u);  // the scene and the stroke after it
  EXPECT_TRUE(f.MatchesReplay());
  ASSERT_TRUE(f.doc.Redo());
  EXPECT_EQ(f.doc.OperationLog().size(), 10u);
  EXPECT_TRUE(f.MatchesReplay());
}

// Random sequences of strokes, replacing actions, undos, redos and scrubs, with a generous budget
// (before-images), with none at all (checkpoints and replay), and with one between.
TEST(SculptHistory, RandomSequencesAlwaysMatchAFreshReplay) {
  for (size_t budget : {SculptHistory::kDefaultBudgetBytes, size_t(0), size_t(3) << 20}) {
    SCOPED_TRACE("budget " + std::to_string(budget));
    Fixture f(budget);
    LogCapture log;
    std::mt19937 rng(uint32_t(budget) + 7);
    for (int step = 0; step < 60; ++step) {
      const int action = std::uniform_int_distribution<int>(0, 9)(rng);
      std::string what;
      if (action <= 3) {
        f.Stroke(rng, std::uniform_int_distribution<int>(1, 60)(rng));
        what = "stroke";
      } else if (action == 4) {
        f.doc.Undo();
        what = "undo";
      } else if (action == 5) {
        f.doc.Redo();
        what = "redo";
      } else if (action == 6) {
        const size_t steps = f.doc.History()->StepCount();
        f.doc.MoveToHistoryStep(std::uniform_int_distribution<size_t>(0, steps)(rng));
        what = "scrub";
      } else if (action == 7) {
        BuildTestScene(f.doc, rng() % 2 ? "marble" : "default");
        what = "scene";
      } else if (action == 8) {
        f.doc.NewSculpture();
        what = "new";
      } else {
        f.doc.Undo();
        f.doc.Undo();
        what = "undo twice";
      }
      ASSERT_TRUE(f.MatchesReplay()) << "after step " << step << ", " << what;
    }
    if (budget == 0) {
      EXPECT_EQ(f.doc.History()->UnitsWithBeforeImages(), 0u);
      EXPECT_TRUE(log.Contains("more than the undo budget"));
    }
  }
}

// Long histories reach any point through checkpoints; a point past the end changes nothing.
TEST(SculptHistory, ScrubbingALongHistory) {
  Fixture f(0);  // no before-images: every move goes through checkpoints and replay
  std::mt19937 rng(3);
  for (int i = 0; i < 12; ++i) f.Stroke(rng, 800);
  EXPECT_GE(f.doc.History()->CheckpointCount(), 2u);
  const size_t steps = f.doc.History()->StepCount();
  ASSERT_EQ(steps, 9600u);
  for (size_t step : {size_t(5000), size_t(123), size_t(9599), size_t(0), size_t(4096), steps}) {
    ASSERT_TRUE(f.doc.MoveToHistoryStep(step));
    EXPECT_EQ(f.doc.OperationLog().size(), step);
    EXPECT_TRUE(f.MatchesReplay()) << "at step " << step;
  }
  LogCapture log;
  EXPECT_FALSE(f.doc.MoveToHistoryStep(steps + 1));
  EXPECT_TRUE(log.Contains("past the end"));
  EXPECT_EQ(f.doc.OperationLog().size(), steps);
  EXPECT_TRUE(f.MatchesReplay());

  // A stroke in the middle of a unit keeps that unit's first records and drops the rest.
  ASSERT_TRUE(f.doc.MoveToHistoryStep(1000));
  f.Stroke(rng, 10);
  EXPECT_EQ(f.doc.OperationLog().size(), 1010u);
  EXPECT_EQ(f.doc.History()->UnitCount(), 3u);
  EXPECT_TRUE(f.MatchesReplay());
  ASSERT_TRUE(f.doc.Undo());
  EXPECT_EQ(f.doc.OperationLog().size(), 1000u);
  EXPECT_TRUE(f.MatchesReplay());
}

}  // namespace
