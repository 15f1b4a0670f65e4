// Hot paths of the sculpt core: record replay, single large stamps and whole-grid extraction.
#include <benchmark/benchmark.h>

#include <cmath>

#include "sculpt/block_tessellator.h"
#include "sculpt/extract_block.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"

namespace {

struct Sculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument doc{&grid, nullptr};
  Sculpture() { grid.listener = &blocks; }
};

// All 216 blocks of the "materials" scene on the four-thread team.
void BM_ExtractAllMaterials(benchmark::State& state) {
  Sculpture s;
  BuildTestScene(s.doc, "materials");
  s.blocks.ExtractDirtyBlocks(INFINITY);  // vertex lists reach their working size
  size_t vertices = 0;
  for (auto _ : state) {
    s.blocks.MarkAllDirty();
    s.blocks.ExtractDirtyBlocks(INFINITY);
  }
  for (const TessBlock& b : s.blocks.records) vertices += b.vertices.size();
  state.counters["triangles"] = double(vertices / 3);
}
BENCHMARK(BM_ExtractAllMaterials)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 216 blocks one after another on the calling thread: the work the team shares.
void BM_ExtractAllMaterialsOneThread(benchmark::State& state) {
  Sculpture s;
  BuildTestScene(s.doc, "materials");
  s.blocks.ExtractDirtyBlocks(INFINITY);
  for (auto _ : state) {
    for (int z = 0; z < 6; ++z)
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
          ExtractBlock(s.grid, 32 * x, 32 * y, 32 * z, 32, 32, 32,
                       s.blocks.Block(s.blocks.BlockIndex(x, y, z)));
  }
}
BENCHMARK(BM_ExtractAllMaterialsOneThread)->Unit(benchmark::kMillisecond);

// The 513 records of "materials" applied to the grid; the first clears all six channels.
void BM_ApplyMaterials(benchmark::State& state) {
  Sculpture s;
  std::vector<SculptOp> ops = TestSceneRecords("materials");
  for (auto _ : state) {
    for (const SculptOp& op : ops) ApplyOperationToGrid(s.grid, op);
  }
  state.counters["records"] = double(ops.size());
}
BENCHMARK(BM_ApplyMaterials)->Unit(benchmark::kMillisecond);

// The clearing record alone: six channels of 192^3 samples zeroed.
void BM_ClearAllChannels(benchmark::State& state) {
  Sculpture s;
  for (auto _ : state) s.grid.ClearChannels(kAllChannels);
}
BENCHMARK(BM_ClearAllChannels)->Unit(benchmark::kMillisecond);

// One add record of radius 48 samples writing all six channels.
void BM_ApplyRadius48(benchmark::State& state) {
  Sculpture s;
  SculptOp op;
  op.type = int(state.range(0));
  op.mode = kStampAdd;
  op.radius = 48;
  op.channelMask = kAllChannels;
  op.red = 0.8f, op.green = 0.4f, op.blue = 0.2f, op.roughness = 0.5f, op.metalness = 0.1f;
  op.matrix = op.type == kOpSphere
                  ? Matrix4x4::Translation({96, 96, 96})
                  : Matrix4x4::Scale({48, 48, 48}) * Matrix4x4::Translation({96, 96, 96});
  // Repeating the record does the same work each time: the same weights, comparisons and fills.
  for (auto _ : state) ApplyOperationToGrid(s.grid, op);
}
BENCHMARK(BM_ApplyRadius48)
    ->Arg(kOpSphere)
    ->Arg(kOpBox)
    ->Arg(kOpCylinder)
    ->ArgName("type")
    ->Unit(benchmark::kMillisecond);

}  // namespace
