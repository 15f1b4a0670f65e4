#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "reference_sculpt.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/shape_stamp.h"
#include "sculpt/voxel_grid.h"

namespace {

int16_t At(const VoxelGrid& g, int x, int y, int z, int c = 0) {
  return g.ChannelData(c)[g.Index(x, y, z)];
}

Matrix4x4 ScaleThenTranslate(float s, Vec3 t) {
  return Matrix4x4::Scale({s, s, s}) * Matrix4x4::Translation(t);
}

bool SameChannels(const VoxelGrid& a, const VoxelGrid& b) {
  return std::memcmp(a.samples.data(), b.samples.data(),
                     size_t(a.channelSize) * size_t(a.channelCount) * 2) == 0;
}

TEST(ShapeStamp, BoxVisitsItsTruncatedBoundsAndMarksThem) {
  VoxelGrid g(kGridSize, kGridChannels);
  BlockTessellator blocks(&g, kBlockSize);
  g.listener = &blocks;
  for (auto& b : blocks.records) b.dirty = 0;
  StampShape(g, 2, ScaleThenTranslate(10, {96, 96, 96}), 0, 2, 0.0f);
  EXPECT_EQ(At(g, 96, 96, 96), 32767);
  EXPECT_GT(At(g, 87, 96, 96), 0);
  EXPECT_EQ(At(g, 86, 96, 96), 0);  // on the surface: weight 0
  EXPECT_EQ(blocks.DirtyCount(), 8);  // 86..106 spans blocks 2 and 3 on each axis
}

TEST(ShapeStamp, CylinderLeavesCapsAndOutsideAlone) {
  VoxelGrid g(kGridSize, kGridChannels);
  StampShape(g, 3, ScaleThenTranslate(10, {96, 96, 96}), 0, 2, 0.0f);
  EXPECT_EQ(At(g, 96, 96, 96), 32767);
  EXPECT_EQ(At(g, 96, 86, 96), 0);   // |ly| = 1: on the cap
  EXPECT_EQ(At(g, 104, 96, 104), 0);  // radius 1.13 in the lx-lz plane
  EXPECT_GT(At(g, 102, 96, 102), 0);  // radius 0.85
}

TEST(ShapeStamp, SandpaperAndBuffOnTheShapeChannel) {
  VoxelGrid g(kGridSize, kGridChannels);
  std::fill_n(g.ChannelData(0), g.channelSize, int16_t(20000));
  StampShape(g, 2, ScaleThenTranslate(10, {96, 96, 96}), 0, 4, 0.0f);
  EXPECT_EQ(At(g, 96, 96, 96), 20000);
  StampShape(g, 2, ScaleThenTranslate(10, {96, 96, 96}), 0, 5, 0.0f);
  EXPECT_EQ(At(g, 96, 96, 96), 0);
  EXPECT_EQ(At(g, 105, 105, 105), 20000);  // rounded corner: weight 0 there
  EXPECT_EQ(At(g, 80, 96, 96), 20000);
}

TEST(ShapeStamp, SingularMatrixWeighsTheWholeScannedBoxAsOne) {
  VoxelGrid g(kGridSize, kGridChannels);
  // x feeds z and the z row is zero: no inverse, bounds 40..60 x 40..60 x 49..51.
  Matrix4x4 slab = Matrix4x4::Scale({10, 10, 0});
  slab.m[2] = 1.0f;
  slab.m[12] = 50, slab.m[13] = 50, slab.m[14] = 50;
  StampShape(g, 2, slab, kChannelRed, 1, 1.0f);
  EXPECT_EQ(At(g, 40, 40, 49, kChannelRed), 32767);
  EXPECT_EQ(At(g, 59, 59, 50, kChannelRed), 32767);
  EXPECT_EQ(At(g, 60, 50, 50, kChannelRed), 0);
  EXPECT_EQ(At(g, 50, 50, 51, kChannelRed), 0);
}

TEST(ShapeStamp, NonFiniteMatricesWriteNothing) {
  VoxelGrid g(kGridSize, kGridChannels);
  VoxelGrid empty(kGridSize, kGridChannels);
  Matrix4x4 bad = ScaleThenTranslate(10, {96, 96, 96});
  bad.m[5] = NAN;
  StampShape(g, 2, bad, 0, 2, 0.0f);
  bad.m[5] = INFINITY;
  StampShape(g, 3, bad, 0, 2, 0.0f);
  StampShape(g, 2, ScaleThenTranslate(1e30f, {1e30f, 0, -1e30f}), 0, 2, 0.0f);
  StampShape(g, 7, ScaleThenTranslate(10, {96, 96, 96}), 0, 2, 0.0f);  // not a shape
  EXPECT_TRUE(SameChannels(g, empty));
}

// Rotated, scaled, clipped boxes and cylinders in every mode against the plain definition, and
// several channels at once against one channel at a time.
TEST(ShapeStamp, MatchesThePlainDefinitionBitForBit) {
  VoxelGrid fast(kGridSize, kGridChannels), plain(kGridSize, kGridChannels);
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> pos(-20, 210), size(1, 40), angle(-3.2f, 3.2f),
      val(-0.2f, 1.2f);
  std::uniform_int_distribution<int> mode(0, 6), type(2, 3);
  for (int i = 0; i < 120; ++i) {
    Matrix4x4 rotation;
    RotationFromAngles(rotation, angle(rng), angle(rng), angle(rng));
    Matrix4x4 m = rotation * Matrix4x4::Scale({size(rng), size(rng), size(rng)}) *
                  Matrix4x4::Translation({pos(rng), pos(rng), pos(rng)});
    int t = type(rng);
    ChannelWrite writes[6];
    for (int c = 0; c < 6; ++c) writes[c] = {c, mode(rng), val(rng)};
    StampShapeChannels(fast, t, m, writes, 6);
    for (const ChannelWrite& w : writes)
      reference::StampShape(plain, t, m, w.channel, w.mode, w.value);
  }
  ASSERT_TRUE(SameChannels(fast, plain));
}

TEST(ShapeStamp, FortyFiveDegreesWritesOnlyInsideTheRotatedBox) {
  VoxelGrid g(kGridSize, kGridChannels);
  Matrix4x4 rotation;
  RotationFromAngles(rotation, 0, 0, 0.78539816f);
  StampShape(g, 2, rotation * ScaleThenTranslate(20, {96, 96, 96}), kChannelRed, 1, 1.0f);
  EXPECT_EQ(At(g, 96 + 22, 96, 96, kChannelRed), 32767);  // towards a rotated corner
  EXPECT_EQ(At(g, 96 + 18, 96 + 18, 96, kChannelRed), 0);  // a corner of the unrotated box
}

}  // namespace
