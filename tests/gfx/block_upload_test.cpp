#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/opengl_test_util.h"

namespace {

using gltest::Rgba;

// Grid x and y straight onto the view: sample 0 at the top-left, 192 at the bottom-right.
const char* kBlockVertexShader = R"(#version 450
layout(location = 0) in vec3 position;
layout(location = 2) in vec4 color;
layout(location = 0) out vec4 vColor;
void main() {
  vColor = vec4(1.0);
  gl_Position = vec4(position.x / 96.0 - 1.0, 1.0 - position.y / 96.0, 0.0, 1.0);
})";

Draw::VertexLayoutDesc SculptVertexLayout() {
  Draw::VertexLayoutDesc desc;
  desc.bindings = {{sizeof(SculptVertex), 0}};
  desc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                     {0, 1, Draw::R32G32B32_FLOAT, 12},
                     {0, 2, Draw::R8G8B8A8_UNORM, 24},
                     {0, 3, Draw::R8G8B8A8_UNORM, 28}};
  return desc;
}

struct Scene {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument document{&grid, nullptr};
  Scene() { grid.listener = &blocks; }
  ~Scene() { blocks.ReleaseBuffers(); }
  int BuffersHeld() const {
    int n = 0;
    for (const TessBlock& b : blocks.records) n += Held(b);
    return n;
  }
  static bool Held(const TessBlock& b) { return b.vertexBuffer != nullptr || b.poolBytes != 0; }
};

class BlockUploadTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 48;
  void SetUp() override {
    REQUIRE_GL(gl);
    context = gl.Context();
    pipeline = gltest::MakePipeline(context, kBlockVertexShader, gltest::kColorFragmentShader,
                                    SculptVertexLayout());
    ASSERT_NE(pipeline.get(), nullptr);
  }
  // Draws every block in white over black and returns the pixels.
  std::vector<uint32_t> Draw(Scene& scene) {
    gltest::OffscreenTarget target(context, kSize, kSize);
    const float black[4] = {0, 0, 0, 1};
    context->BeginFrame();
    target.Begin(context, black);
    gltest::SetFullViewport(context, kSize, kSize);
    context->BindPipeline(pipeline.get());
    scene.blocks.DrawBlocks(context);
    std::vector<uint32_t> pixels = gl.ReadPixels(0, 0, kSize, kSize);
    context->Present();
    return pixels;
  }
  static int Lit(const std::vector<uint32_t>& pixels) {
    int n = 0;
    for (uint32_t p : pixels) n += p == Rgba(255, 255, 255);
    return n;
  }

  GLTestContext gl{kSize, kSize};
  Draw::DrawContext* context = nullptr;
  gltest::TestPipeline pipeline;
};

TEST_F(BlockUploadTest, BudgetDecidesWhatIsUploadedAndDrawn) {
  Scene scene;
  BuildTestScene(scene.document, "materials");

  // No budget: every block is counted, none extracted or uploaded.
  EXPECT_EQ(scene.blocks.TessellateDirtyBlocks(context, 0.0f), 216);
  EXPECT_EQ(scene.BuffersHeld(), 0);
  EXPECT_EQ(scene.blocks.DirtyCount(), 216);

  // Unlimited: blocks with a surface get a range of the pool for exactly their vertices.
  EXPECT_EQ(scene.blocks.TessellateDirtyBlocks(context, INFINITY), 216);
  EXPECT_EQ(scene.blocks.DirtyCount(), 0);
  int withSurface = 0;
  for (const TessBlock& b : scene.blocks.records) {
    EXPECT_EQ(b.uploadPending, 0);
    EXPECT_EQ(b.vertexBuffer, nullptr);
    EXPECT_EQ(Scene::Held(b), !b.vertices.empty());
    if (Scene::Held(b)) {
      ++withSurface;
      EXPECT_EQ(size_t(b.vertexCount), b.vertices.size());
    }
  }
  EXPECT_EQ(scene.BuffersHeld(), withSurface);
  EXPECT_GT(withSurface, 8);
  EXPECT_EQ(scene.blocks.TessellateDirtyBlocks(context, INFINITY), 0);

  const std::vector<uint32_t> drawn = Draw(scene);
  EXPECT_EQ(drawn[(kSize / 2) * kSize + kSize / 2], Rgba(255, 255, 255));  // a sphere at 96, 96
  EXPECT_EQ(drawn[0], Rgba(0, 0, 0));                                      // empty corner
  const int lit = Lit(drawn);

  // A block marked dirty but skipped keeps its old range and is still drawn.
  const TessBlock& middle = scene.blocks.Block(scene.blocks.BlockIndex(2, 2, 2));
  ASSERT_NE(middle.poolBytes, 0u);
  const size_t before = middle.poolOffset;
  scene.blocks.MarkAllDirty();
  EXPECT_EQ(scene.blocks.TessellateDirtyBlocks(context, 0.0f), 216);
  EXPECT_EQ(middle.poolOffset, before);
  EXPECT_EQ(Lit(Draw(scene)), lit);

  // A block whose surface is gone loses its buffer and its count (the panel's triangles) and is
  // no longer drawn.
  scene.document.NewSculpture();
  EXPECT_EQ(scene.blocks.TessellateDirtyBlocks(context, INFINITY), 216);
  EXPECT_EQ(scene.BuffersHeld(), 0);
  for (const TessBlock& b : scene.blocks.records) EXPECT_EQ(b.vertexCount, 0);
  EXPECT_EQ(Lit(Draw(scene)), 0);
}

// Ranges of the pool never overlap, whether blocks are re-meshed one at a time or all at once;
// blocks the pool has no room for get buffers of their own and draw the same picture.
TEST_F(BlockUploadTest, PoolRangesAreDisjointAndAFullPoolFallsBackToOwnBuffers) {
  auto disjoint = [](const Scene& scene) {
    std::vector<std::pair<size_t, size_t>> ranges;
    for (const TessBlock& b : scene.blocks.records)
      if (b.poolBytes != 0) ranges.push_back({b.poolOffset, b.poolOffset + b.poolBytes});
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
      if (ranges[i].first < ranges[i - 1].second) return false;
    return !ranges.empty();
  };

  Scene pooled;
  BuildTestScene(pooled.document, "materials");
  pooled.blocks.TessellateDirtyBlocks(context, INFINITY);
  EXPECT_TRUE(disjoint(pooled));
  const std::vector<uint32_t> picture = Draw(pooled);
  EXPECT_GT(Lit(picture), 0);
  // Some blocks again, then every block (a load): still disjoint, still the same picture.
  const int min[3] = {64, 64, 64}, max[3] = {128, 128, 128};
  pooled.blocks.MarkDirty(min, max);
  pooled.blocks.TessellateDirtyBlocks(context, INFINITY);
  EXPECT_TRUE(disjoint(pooled));
  pooled.blocks.MarkAllDirty();
  pooled.blocks.TessellateDirtyBlocks(context, INFINITY);
  EXPECT_TRUE(disjoint(pooled));
  EXPECT_EQ(Draw(pooled), picture);

  Scene crowded;
  crowded.blocks.vertexPoolBytes = size_t(1) << 20;
  BuildTestScene(crowded.document, "materials");
  crowded.blocks.TessellateDirtyBlocks(context, INFINITY);
  int own = 0, inPool = 0;
  for (const TessBlock& b : crowded.blocks.records) {
    own += b.vertexBuffer != nullptr;
    inPool += b.poolBytes != 0;
  }
  EXPECT_GT(own, 0);
  EXPECT_GT(inPool, 0);
  EXPECT_TRUE(disjoint(crowded));
  EXPECT_EQ(Draw(crowded), picture);
}

}  // namespace
