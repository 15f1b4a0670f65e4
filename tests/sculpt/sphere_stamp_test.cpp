#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "reference_sculpt.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sphere_stamp.h"
#include "sculpt/voxel_grid.h"

namespace {

int16_t At(const VoxelGrid& g, int x, int y, int z, int c = 0) {
  return g.ChannelData(c)[g.Index(x, y, z)];
}

void Fill(VoxelGrid& g, int channel, int16_t v) {
  std::fill_n(g.ChannelData(channel), g.channelSize, v);
}

TEST(SphereStamp, SetQuantisesTheValue) {
  const std::pair<float, int16_t> cases[] = {{1.7f, 32767}, {-0.2f, 0}, {0.5f, 16383}, {NAN, 0}};
  for (auto [value, expected] : cases) {
    VoxelGrid g(kGridSize, kGridChannels);
    StampSphere(g, {50, 50, 50}, 4, kChannelRed, 1, value);
    EXPECT_EQ(At(g, 50, 50, 50, kChannelRed), expected) << value;
    EXPECT_EQ(At(g, 46, 50, 50, kChannelRed), expected) << value;  // on the radius
    EXPECT_EQ(At(g, 54, 50, 50, kChannelRed), 0) << value;  // past the scanned box's open end
  }
}

TEST(SphereStamp, AddAndSubtractRamps) {
  VoxelGrid g(kGridSize, kGridChannels);
  StampSphere(g, {96, 96, 96}, 10, 0, 2, 0);
  EXPECT_EQ(At(g, 96, 96, 96), 32767);
  EXPECT_GE(At(g, 96, 96, 96 + 7), int16_t(0.6f * 32767.0f));  // L = 0.6
  EXPECT_EQ(At(g, 106, 96, 96), 0);                             // on the surface L = 0

  VoxelGrid full(kGridSize, kGridChannels);
  Fill(full, 0, 32767);
  StampSphere(full, {96, 96, 96}, 10, 0, 3, 0);
  EXPECT_EQ(At(full, 105, 96, 96), 26213);
  EXPECT_EQ(At(full, 106, 96, 96), 32767);
  EXPECT_EQ(At(full, 96, 96, 96), 0);
}

TEST(SphereStamp, SmallRadiusHasAFullCore) {
  VoxelGrid g(kGridSize, kGridChannels);
  StampSphere(g, {50, 50, 50}, 3, 0, 2, 0);
  EXPECT_EQ(At(g, 51, 50, 50), 32767);  // distance 1 < core radius 2
  // Distance 2.5 is outside the core: L = 0.1.
  VoxelGrid h(kGridSize, kGridChannels);
  StampSphere(h, {50.5f, 50, 50}, 3, 0, 2, 0);
  EXPECT_EQ(At(h, 53, 50, 50), int16_t(0.1f * 32767.0f));

  for (int mode : {4, 5}) {
    VoxelGrid f(kGridSize, kGridChannels);
    Fill(f, 0, 20000);
    StampSphere(f, {50, 50, 50}, 3, 0, mode, 0);
    EXPECT_EQ(At(f, 51, 50, 50), 0) << mode;
    EXPECT_EQ(At(f, 52, 50, 50), 20000) << mode;  // distance 2: outside the core
    StampSphere(f, {100, 100, 100}, 6, 0, mode, 0);
    EXPECT_EQ(At(f, 100, 100, 100), 20000) << mode;  // no core from radius 5 on
  }
}

TEST(SphereStamp, ReportsTheScannedBoxAndClipsAtTheGrid) {
  VoxelGrid g(kGridSize, kGridChannels);
  BlockTessellator blocks(&g, kBlockSize);
  g.listener = &blocks;
  for (auto& b : blocks.records) b.dirty = 0;
  // Radius 1 scans (and marks) the box of radius 3, but writes only within distance 1.
  StampSphere(g, {33, 33, 33}, 1, 0, 2, 0);
  EXPECT_EQ(At(g, 34, 33, 33), 32767);
  EXPECT_EQ(At(g, 35, 33, 33), 0);
  EXPECT_EQ(blocks.DirtyCount(), 8);  // box 30..36 spans blocks 0 and 1 on each axis

  for (auto& b : blocks.records) b.dirty = 0;
  StampSphere(g, {-20, 50, 50}, 10, 0, 2, 0);
  StampSphere(g, {NAN, 50, 50}, 10, 0, 2, 0);
  StampSphere(g, {50, 50, 50}, NAN, 0, 2, 0);
  EXPECT_EQ(blocks.DirtyCount(), 0);

  StampSphere(g, {-5, 100, 100}, 10, 0, 2, 0);
  EXPECT_EQ(At(g, 0, 100, 100), 32767);
  StampSphere(g, {1e30f, 1e30f, -1e30f}, 1e30f, 0, 1, 1.0f);
  StampSphere(g, {96, 96, 96}, INFINITY, 0, 2, 0);  // fills the grid, writes nothing outside
  EXPECT_EQ(At(g, 191, 191, 191), 32767);
  EXPECT_EQ(At(g, 0, 0, 0, kChannelRed), 0);
}

// Random spheres in every mode against the sample-by-sample definition.
TEST(SphereStamp, MatchesThePlainDefinitionBitForBit) {
  VoxelGrid fast(kGridSize, kGridChannels), plain(kGridSize, kGridChannels);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> pos(-10, 200), rad(0.5f, 30), val(-0.2f, 1.2f);
  std::uniform_int_distribution<int> mode(0, 6), channel(0, 5);
  for (int i = 0; i < 300; ++i) {
    Vec3 c{pos(rng), pos(rng), pos(rng)};
    float r = rad(rng), v = val(rng);
    int m = mode(rng), ch = channel(rng);
    StampSphere(fast, c, r, ch, m, v);
    reference::StampSphere(plain, c, r, ch, m, v);
  }
  ASSERT_EQ(0, std::memcmp(fast.samples.data(), plain.samples.data(),
                           size_t(fast.channelSize) * kGridChannels * 2));
}

}  // namespace
