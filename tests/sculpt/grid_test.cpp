#include <gtest/gtest.h>

#include <cmath>

#include "sculpt/block_tessellator.h"
#include "sculpt/voxel_grid.h"

namespace {

struct GridWithBlocks {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  GridWithBlocks() { grid.listener = &blocks; }
  void CleanAll() {
    for (auto& b : blocks.records) b.dirty = 0;
  }
};

TEST(VoxelGrid, StartsEmptyWithEveryBlockDirty) {
  GridWithBlocks g;
  EXPECT_EQ(g.blocks.blockCount, 216);
  EXPECT_EQ(g.blocks.DirtyCount(), 216);
  for (int c = 0; c < kGridChannels; ++c) {
    const int16_t* d = g.grid.ChannelData(c);
    EXPECT_TRUE(std::all_of(d, d + g.grid.channelSize, [](int16_t s) { return s == 0; }));
  }
}

TEST(VoxelGrid, ClearClearsOnlyMaskedChannelsAndAlwaysMarksEveryBlock) {
  for (uint32_t mask : {0u, 0x1C0u, 0x21u}) {
    GridWithBlocks g;
    for (int c = 0; c < kGridChannels; ++c) g.grid.ChannelData(c)[1234] = int16_t(100 + c);
    g.CleanAll();
    g.grid.ClearChannels(mask);
    EXPECT_EQ(g.blocks.DirtyCount(), 216) << mask;
    for (int c = 0; c < kGridChannels; ++c)
      EXPECT_EQ(g.grid.ChannelData(c)[1234], (mask >> c) & 1 ? 0 : 100 + c) << mask << " " << c;
  }
}

TEST(VoxelGrid, SampleAtTruncatesAndClamps) {
  VoxelGrid grid(kGridSize, kGridChannels);
  grid.ChannelData(kChannelRed)[grid.Index(0, 191, 10)] = 77;
  grid.ChannelData(kChannelRed)[grid.Index(191, 0, 0)] = 55;
  EXPECT_EQ(grid.SampleAt({-5, 300, 10.9f}, kChannelRed), 77);
  EXPECT_EQ(grid.SampleAt({1e30f, -INFINITY, NAN}, kChannelRed), 55);
  EXPECT_EQ(grid.SampleAt({0, 0, 0}, 99), 0);  // no such channel
}

TEST(BlockTessellator, MarkDirtyCoversTheBlocksWhoseCellsReadTheSamples) {
  struct Case {
    int min[3], max[3];
    std::vector<int> blocks;  // x block indices at y = z = 0
  } cases[] = {
      {{0, 0, 0}, {1, 1, 1}, {0}},
      {{30, 0, 0}, {32, 1, 1}, {0, 1}},
      {{32, 0, 0}, {40, 1, 1}, {1}},
      {{170, 0, 0}, {192, 1, 1}, {5}},
      {{-40, 0, 0}, {5, 1, 1}, {0}},
  };
  for (const Case& c : cases) {
    GridWithBlocks g;
    g.CleanAll();
    g.blocks.MarkDirty(c.min, c.max);
    std::vector<int> marked;
    for (int i = 0; i < g.blocks.blockCount; ++i)
      if (g.blocks.records[size_t(i)].dirty) marked.push_back(i);
    EXPECT_EQ(marked, c.blocks) << c.min[0] << ".." << c.max[0];
  }
}

TEST(BlockTessellator, BudgetDecidesWhichBlocksAreExtracted) {
  GridWithBlocks g;
  EXPECT_EQ(g.blocks.ExtractDirtyBlocks(0.0f), 216);
  EXPECT_EQ(g.blocks.DirtyCount(), 216);
  EXPECT_EQ(g.blocks.records[0].uploadPending, 0);

  EXPECT_EQ(g.blocks.ExtractDirtyBlocks(INFINITY), 216);
  EXPECT_EQ(g.blocks.DirtyCount(), 0);
  for (const auto& b : g.blocks.records) {
    EXPECT_EQ(b.uploadPending, 1);
    EXPECT_TRUE(b.vertices.empty());
  }
  EXPECT_EQ(g.blocks.ExtractDirtyBlocks(INFINITY), 0);
}

}  // namespace
