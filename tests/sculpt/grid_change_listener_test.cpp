// Whoever changes the grid's samples tells its listener: once per stamp, clear or replay, never
// per row or sample.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "sculpt/grid_change_listener.h"
#include "sculpt/sculpt_op.h"
#include "sculpt/slab_replay.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/voxel_grid.h"
#include "tests/sculpt/sculpt_test_util.h"

namespace {

// Writes down what it is told. Its blocks are the grid's eight octants.
class RecordingListener final : public GridChangeListener {
 public:
  struct Box {
    int min[3], max[3];
  };
  static constexpr int kSide = kGridSize / 2;

  void SamplesChanged(const int min[3], const int max[3]) override {
    boxes.push_back({{min[0], min[1], min[2]}, {max[0], max[1], max[2]}});
  }
  void AllSamplesChanged() override { ++allChanged; }
  int BlockSize() const override { return kSide; }
  int BlockCount() const override { return 8; }
  void MarkChangedBlocks(const int min[3], const int max[3], uint8_t* marks) const override {
    ++markCalls;  // replay threads call at once
    marks[Octant(min)] = 1;
  }
  void BlocksChanged(const uint8_t* marks) override {
    reported.emplace_back(marks, marks + BlockCount());
  }
  std::vector<int> TakeChangedBlocks() override { return {}; }

  static int Octant(const int p[3]) {
    return (p[0] >= kSide) + 2 * (p[1] >= kSide) + 4 * (p[2] >= kSide);
  }

  std::vector<Box> boxes;
  int allChanged = 0;
  mutable std::atomic<int> markCalls{0};
  std::vector<std::vector<uint8_t>> reported;
};

struct GridWithListener {
  VoxelGrid grid{kGridSize, kGridChannels};
  RecordingListener listener;
  GridWithListener() { grid.listener = &listener; }
};

TEST(GridChangeListener, AClearTellsEverySampleChangedOnce) {
  GridWithListener g;
  SculptOp clear;
  clear.type = kOpClear;
  clear.channelMask = kAllChannels;
  ApplyOperationToGrid(g.grid, clear);
  EXPECT_EQ(g.listener.allChanged, 1);
  EXPECT_TRUE(g.listener.boxes.empty());
  EXPECT_EQ(g.listener.markCalls.load(), 0);
  EXPECT_TRUE(g.listener.reported.empty());
}

TEST(GridChangeListener, AStampTellsItsScannedBoxOnce) {
  GridWithListener g;
  const Vec3 centre{40.0f, 50.0f, 60.0f};
  ApplyOperationToGrid(g.grid, sculpttest::Sphere(centre, 12.0f, kStampAdd, 1u));
  ASSERT_EQ(g.listener.boxes.size(), 1u);
  const RecordingListener::Box& box = g.listener.boxes[0];
  const float c[3] = {centre.x, centre.y, centre.z};
  for (int a = 0; a < 3; ++a) {
    EXPECT_LE(float(box.min[a]), c[a] - 12.0f) << a;
    EXPECT_GE(float(box.max[a]), c[a] + 12.0f) << a;
  }
  EXPECT_EQ(g.listener.allChanged, 0);
  EXPECT_EQ(g.listener.markCalls.load(), 0);
  EXPECT_TRUE(g.listener.reported.empty());
}

// Replay threads mark blocks of their own, at most once per record and slab, and report their
// marks when the replay is done.
TEST(GridChangeListener, ASlabReplayReportsEachThreadsMarksOnce) {
  GridWithListener g;
  std::vector<SculptOp> records;
  for (int i = 0; i < 10; ++i)
    records.push_back(sculpttest::Sphere({150.0f, 150.0f, 140.0f + float(i)}, 6.0f, kStampAdd, 1u));
  ReplayRecords(g.grid, records.data(), records.size(), 2);
  EXPECT_TRUE(g.listener.boxes.empty());
  EXPECT_EQ(g.listener.allChanged, 0);
  // Each sphere reaches at most three slabs of eight planes.
  EXPECT_GE(g.listener.markCalls.load(), int(records.size()));
  EXPECT_LE(g.listener.markCalls.load(), 3 * int(records.size()));
  ASSERT_EQ(g.listener.reported.size(), 2u);
  for (int b = 0; b < 8; ++b) {
    const bool marked = g.listener.reported[0][size_t(b)] || g.listener.reported[1][size_t(b)];
    EXPECT_EQ(marked, b == 7) << b;
  }
}

}  // namespace
