// Uploads of the sculpture's block buffers through the real OpenGL driver (needs a display;
// `make bench` provides a virtual one).
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <glad/gl.h>

#include <cmath>
#include <cstdio>

#include "bench/bench_window.h"
#include "gfx/opengl_context.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"

namespace {

struct Sculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument doc{&grid, nullptr};
  Sculpture() {
    grid.listener = &blocks;
    BuildTestScene(doc, "materials");
  }
};

// Every block of "materials" re-created as a STATIC buffer, until the driver has the data.
void BM_UploadAllMaterialsBlocks(benchmark::State& state) {
  BenchWindow w(64, 64);
  if (!w.context) {
    state.SkipWithError("no OpenGL context (no display?)");
    return;
  }
  Sculpture s;
  s.blocks.TessellateDirtyBlocks(w.context, INFINITY);
  size_t bytes = 0;
  for (auto _ : state) {
    for (TessBlock& b : s.blocks.records) b.uploadPending = 1;
    s.blocks.TessellateDirtyBlocks(w.context, INFINITY);  // nothing dirty: uploads only
    glFinish();
  }
  for (const TessBlock& b : s.blocks.records) bytes += b.vertices.size() * sizeof(SculptVertex);
  state.counters["MB"] = double(bytes) / 1e6;
  s.blocks.ReleaseBuffers();
}
BENCHMARK(BM_UploadAllMaterialsBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first frames after loading "materials": extraction on the team plus the uploads.
void BM_TessellateAllMaterialsBlocks(benchmark::State& state) {
  BenchWindow w(64, 64);
  if (!w.context) {
    state.SkipWithError("no OpenGL context (no display?)");
    return;
  }
  Sculpture s;
  s.blocks.TessellateDirtyBlocks(w.context, INFINITY);
  for (auto _ : state) {
    s.blocks.MarkAllDirty();
    s.blocks.TessellateDirtyBlocks(w.context, INFINITY);
    glFinish();
  }
  s.blocks.ReleaseBuffers();
}
BENCHMARK(BM_TessellateAllMaterialsBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
