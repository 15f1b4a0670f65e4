// Replay on threads by slabs of z planes against records applied one after another: the same
// grid bits, the same blocks marked, the same meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/slab_replay.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/stroke_sculpture.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/sculpt/sculpt_test_util.h"

namespace {

using sculpttest::Sphere;

SculptOp Clear(uint32_t mask) {
  SculptOp op;
  op.type = kOpClear;
  op.channelMask = mask;
  return op;
}

SculptOp Shape(int type, int mode, uint32_t mask, const Matrix4x4& matrix, float value) {
  SculptOp op = Sphere({0, 0, 0}, 0, mode, mask, value);
  op.type = type;
  op.matrix = matrix;
  return op;
}

// Boxes and cylinders turned about two axes and spheres of every size, centred on and around the
// slab borders (multiples of 8 planes), in every mode, some reaching out of the grid; clears of a
// few channels between them.
std::vector<SculptOp> AcrossSlabBorders() {
  std::vector<SculptOp> ops;
  int i = 0;
  for (float z : {0.0f, 7.5f, 8.0f, 63.9f, 64.0f, 100.2f, 185.0f, 191.5f}) {
    for (int mode = kStampSet; mode <= kStampBuff; ++mode, ++i) {
      const float value = float(i % 7) / 6.0f;
      const Vec3 c{40.0f + float(i * 13 % 110), 30.0f + float(i * 29 % 130), z};
      ops.push_back(Sphere(c, 1.0f + float(i % 14), mode, kAllChannels, value));
      Matrix4x4 turn;
      RotationFromAngles(turn, 0.3f * float(i), 0.7f + 0.2f * float(i), 0.1f * float(i));
      const float size = 4.0f + float(i % 5) * 5.0f;
      ops.push_back(Shape(i % 2 ? kOpBox : kOpCylinder, mode, i % 3 ? kAllChannels : 1,
                          Matrix4x4::Scale({size, size * 0.6f, size}) * turn *
                              Matrix4x4::Translation(c + Vec3{30, 20, 0.25f}),
                          value));
    }
    ops.push_back(Clear(i % 2 ? 0x06u : 0x21u));
  }
  return ops;
}

struct ReplayCase {
  const char* name;
  std::vector<SculptOp> records;
};

std::vector<ReplayCase> Cases() {
  return {
      {"empty history", {}},
      {"clears only", {Clear(kAllChannels), Clear(0x30), Clear(0)}},
      {"materials scene", TestSceneRecords("materials")},
      {"across slab borders", AcrossSlabBorders()},
      {"strokes with clears", StrokeSculptureRecords(3000, 7)},
      // Replay starts at the last clear of every channel; a clear of some channels does not count.
      {"whole-grid clears",
       {Sphere({60, 60, 60}, 20, kStampAdd, kAllChannels), Clear(kAllChannels),
        Sphere({90, 90, 90}, 12, kStampAdd, kAllChannels), Clear(kAllChannels | 0x40),
        Sphere({100, 96, 90}, 15, kStampAdd, kAllChannels), Clear(0x1F),
        Sphere({120, 96, 90}, 8, kStampSubtract, 1)}},
  };
}

struct Sculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  // Starts from a meshed sculpture with no marks, so that the marks replay leaves are its own.
  explicit Sculpture(const std::vector<SculptOp>& start) {
    grid.listener = &blocks;
    for (const SculptOp& op : start) ApplyOperationToGrid(grid, op);
    blocks.ExtractDirtyBlocks(INFINITY);
    std::fill(blocks.touched.begin(), blocks.touched.end(), uint8_t(0));
  }
};

void ExpectSameSculpture(Sculpture& plain, Sculpture& slabs) {
  const size_t bytes = size_t(kGridChannels) * size_t(plain.grid.channelSize) * sizeof(int16_t);
  ASSERT_EQ(std::memcmp(plain.grid.samples.data(), slabs.grid.samples.data(), bytes), 0);
  for (int b = 0; b < plain.blocks.blockCount; ++b) {
    ASSERT_EQ(plain.blocks.Block(b).dirty, slabs.blocks.Block(b).dirty) << "block " << b;
    ASSERT_EQ(plain.blocks.touched[size_t(b)], slabs.blocks.touched[size_t(b)]) << "block " << b;
  }
  plain.blocks.ExtractDirtyBlocks(INFINITY);
  slabs.blocks.ExtractDirtyBlocks(INFINITY);
  for (int b = 0; b < plain.blocks.blockCount; ++b) {
    const SculptVertexList& a = plain.blocks.Block(b).vertices;
    const SculptVertexList& c = slabs.blocks.Block(b).vertices;
    ASSERT_EQ(a.size(), c.size()) << "block " << b;
    // An empty list may have no memory at all, and memcmp must not be given a null pointer.
    if (!a.empty()) {
      ASSERT_EQ(std::memcmp(a.data(), c.data(), a.size() * sizeof(SculptVertex)), 0)
          << "block " << b;
    }
  }
}

TEST(SlabReplay, SameGridMarksAndMeshesAsRecordsOneAfterAnother) {
  // A sculpture to start from, so that subtract, buff and clears meet material.
  const std::vector<SculptOp> start = StrokeSculptureRecords(600, 3);
  for (const ReplayCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    for (int threads : {2, 3, 4}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      auto plain = std::make_unique<Sculpture>(start);
      for (const SculptOp& op : c.records) ApplyOperationToGrid(plain->grid, op);
      auto slabs = std::make_unique<Sculpture>(start);
      ReplayRecords(slabs->grid, c.records.data(), c.records.size(), threads);
      ExpectSameSculpture(*plain, *slabs);
    }
  }
}

// Without a block index nothing is marked, and the samples are the same.
TEST(SlabReplay, GridWithoutBlockIndex) {
  const std::vector<SculptOp> records = AcrossSlabBorders();
  VoxelGrid plain(kGridSize, kGridChannels), slabs(kGridSize, kGridChannels);
  for (const SculptOp& op : records) ApplyOperationToGrid(plain, op);
  ReplayRecords(slabs, records.data(), records.size(), 2);
  const size_t bytes = size_t(kGridChannels) * size_t(plain.channelSize) * sizeof(int16_t);
  EXPECT_EQ(std::memcmp(plain.samples.data(), slabs.samples.data(), bytes), 0);
}

// A file loaded at once (replayed by slabs) against the same file loaded a few records a frame
// (one record after another), and undo and redo of the load (history replay by slabs).
TEST(SlabReplay, LoadAtOnceUndoAndRedoMatchLoadingFrameByFrame) {
  sculpttest::DocumentFixture atOnce, frames;
  atOnce.doc.EnableHistory(size_t(64) << 20);
  std::vector<SculptOp> records = StrokeSculptureRecords(2500, 13);
  records.push_back(Sphere({96, 96, 96}, 9, kStampAdd, kAllChannels));  // ends on a stroke
  for (const SculptOp& op : records) frames.doc.ApplyOperation(op);
  ASSERT_TRUE(frames.doc.SaveSculpture("strokes.sculpt"));
  atOnce.dir.WriteFile("strokes.sculpt", frames.dir.ReadFile("strokes.sculpt"));

  ASSERT_TRUE(atOnce.doc.LoadSculpture("strokes.sculpt", 0));
  ASSERT_TRUE(frames.doc.LoadSculpture("strokes.sculpt", 7));
  std::vector<SculptOp> none;
  while (!frames.doc.ReplayQueue().empty()) frames.doc.ApplyFrame(none);
  EXPECT_EQ(atOnce.doc.OperationLog().size(), records.size());
  const size_t bytes = size_t(kGridChannels) * size_t(atOnce.grid.channelSize) * sizeof(int16_t);
  ASSERT_EQ(std::memcmp(atOnce.grid.samples.data(), frames.grid.samples.data(), bytes), 0);

  // Undo goes back to the empty grid; redo replays the load.
  ASSERT_TRUE(atOnce.doc.Undo());
  ASSERT_TRUE(atOnce.doc.Redo());
  ASSERT_EQ(std::memcmp(atOnce.grid.samples.data(), frames.grid.samples.data(), bytes), 0);
  // A point inside the load, reached by replay from a checkpoint or the start.
  ASSERT_TRUE(atOnce.doc.MoveToHistoryStep(1700));
  VoxelGrid plain(kGridSize, kGridChannels);
  for (size_t i = 0; i < 1700; ++i) ApplyOperationToGrid(plain, records[i]);
  EXPECT_EQ(std::memcmp(atOnce.grid.samples.data(), plain.samples.data(), bytes), 0);
}

}  // namespace
