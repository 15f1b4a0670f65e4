#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "reference_sculpt.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/extract_block.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"

namespace {

bool SameVertices(const SculptVertexList& a, const std::vector<SculptVertex>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(SculptVertex)) == 0);
}

void Set(VoxelGrid& g, int x, int y, int z, int16_t v, int c = 0) {
  g.ChannelData(c)[g.Index(x, y, z)] = v;
}

TEST(ExtractBlock, EmptyGridGivesNoCellsButFinishesTheBlock) {
  VoxelGrid g(kGridSize, kGridChannels);
  TessBlock block;
  ExtractBlock(g, 0, 0, 0, 32, 32, 32, block);
  EXPECT_TRUE(block.vertices.empty());
  EXPECT_EQ(block.dirty, 0);
  EXPECT_EQ(block.uploadPending, 1);
}

TEST(ExtractBlock, SingleFullSampleIsAClosedBlobHalfWayToItsNeighbours) {
  VoxelGrid g(kGridSize, kGridChannels);
  Set(g, 10, 10, 10, 32767);
  TessBlock block;
  ExtractBlock(g, 0, 0, 0, 32, 32, 32, block);
  ASSERT_EQ(block.vertices.size(), 24u);
  for (const SculptVertex& v : block.vertices) {
    float off = std::fabs(v.position[0] - 10) + std::fabs(v.position[1] - 10) +
                std::fabs(v.position[2] - 10);
    EXPECT_FLOAT_EQ(off, 0.5f);
  }
}

TEST(ExtractBlock, IsoThresholdAndGridFaces) {
  struct Case {
    int16_t value;
    size_t vertices;
  } cases[] = {{16383, 24}, {16382, 0}};
  for (const Case& c : cases) {
    VoxelGrid g(kGridSize, kGridChannels);
    Set(g, 10, 10, 10, c.value);
    TessBlock block;
    ExtractBlock(g, 0, 0, 0, 32, 32, 32, block);
    EXPECT_EQ(block.vertices.size(), c.vertices) << c.value;
  }
  // A full grid has no surface anywhere: the boundary cells are never extracted.
  VoxelGrid full(kGridSize, kGridChannels);
  std::fill_n(full.ChannelData(0), full.channelSize, int16_t(32767));
  BlockTessellator blocks(&full, kBlockSize);
  blocks.ExtractDirtyBlocks(INFINITY);
  for (const TessBlock& b : blocks.records) EXPECT_TRUE(b.vertices.empty());
}

TEST(ExtractBlock, ColourAndMaterialBytes) {
  VoxelGrid g(kGridSize, kGridChannels);
  for (int z = 8; z < 13; ++z)
    for (int y = 8; y < 13; ++y)
      for (int x = 8; x < 13; ++x) {
        for (int c : {0, 1, 4}) Set(g, x, y, z, 32767, c);
      }
  // Extend the colour one sample beyond the shape so both corners of every crossing agree.
  for (int z = 7; z < 14; ++z)
    for (int y = 7; y < 14; ++y)
      for (int x = 7; x < 14; ++x)
        for (int c : {1, 4}) Set(g, x, y, z, 32767, c);
  TessBlock block;
  ExtractBlock(g, 0, 0, 0, 32, 32, 32, block);
  ASSERT_FALSE(block.vertices.empty());
  for (const SculptVertex& v : block.vertices) {
    EXPECT_EQ(std::vector<int>(v.colour, v.colour + 4), (std::vector<int>{255, 0, 0, 0}));
    EXPECT_EQ(std::vector<int>(v.material, v.material + 4), (std::vector<int>{255, 0, 0, 0}));
  }
}

// Every block of real scenes and of noise, against the cell-by-cell definition: same vertices,
// same order, same bits; and twice in a row gives the same bytes.
TEST(ExtractBlock, MatchesThePlainDefinitionBitForBit) {
  VoxelGrid g(kGridSize, kGridChannels);
  SculptDocument doc(&g, nullptr);
  BuildTestScene(doc, "materials");
  for (const SculptOp& op : TestSceneRecords("default")) doc.ApplyOperation(op);
  // Noise in one corner block reaching the grid's faces, with random colours.
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> sample(0, 32767);
  for (int z = 160; z < 192; ++z)
    for (int y = 160; y < 192; ++y)
      for (int x = 160; x < 192; ++x)
        for (int c = 0; c < 6; ++c) Set(g, x, y, z, int16_t(sample(rng)), c);

  BlockTessellator blocks(&g, kBlockSize);
  size_t total = 0;
  for (int bz = 0; bz < 6; ++bz)
    for (int by = 0; by < 6; ++by)
      for (int bx = 0; bx < 6; ++bx) {
        TessBlock& block = blocks.Block(blocks.BlockIndex(bx, by, bz));
        ExtractBlock(g, 32 * bx, 32 * by, 32 * bz, 32, 32, 32, block);
        std::vector<SculptVertex> expected =
            reference::ExtractBlock(g, 32 * bx, 32 * by, 32 * bz, 32);
        ASSERT_TRUE(SameVertices(block.vertices, expected)) << bx << " " << by << " " << bz;
        total += expected.size();
        SculptVertexList first = block.vertices;
        ExtractBlock(g, 32 * bx, 32 * by, 32 * bz, 32, 32, 32, block);
        ASSERT_TRUE(SameVertices(block.vertices, std::vector<SculptVertex>(first.begin(), first.end())));
      }
  EXPECT_GT(total, 100000u);
}

TEST(ExtractBlock, LargerBoxesGiveTheSameCellsInTheSameOrder) {
  VoxelGrid g(kGridSize, kGridChannels);
  SculptDocument doc(&g, nullptr);
  BuildTestScene(doc, "default");
  // One 96-wide box against the three 32-wide blocks it covers: the cells of the wide box come
  // z by z and y by y, so compare the sets of triangles instead of the order.
  TessBlock wide;
  ExtractBlock(g, 64, 64, 64, 96, 32, 32, wide);
  size_t narrow = 0;
  for (int bx = 2; bx < 5; ++bx) {
    TessBlock block;
    ExtractBlock(g, 32 * bx, 64, 64, 32, 32, 32, block);
    narrow += block.vertices.size();
  }
  EXPECT_EQ(wide.vertices.size(), narrow);
}

}  // namespace
