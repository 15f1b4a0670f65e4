// Export of "materials": weld (no simplification) and a .glb written, from extracted blocks.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "export/export_mesh.h"
#include "export/mesh_writers.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"

namespace {

void BM_ExportMaterialsGlb(benchmark::State& state) {
  VoxelGrid grid(kGridSize, kGridChannels);
  BlockTessellator blocks(&grid, kBlockSize);
  grid.listener = &blocks;
  SculptDocument document(&grid, nullptr);
  BuildTestScene(document, "materials");
  blocks.ExtractDirtyBlocks(INFINITY);
  const std::string path = "/tmp/loomwork-export-bench.glb";
  ExportMesh mesh;
  for (auto _ : state) {
    std::string error;
    if (!BuildExportMesh(blocks, {}, mesh, error) ||
        !WriteExportMesh(mesh, path, ExportFormat::Glb, 1.0f, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  std::remove(path.c_str());
  state.counters["vertices"] = double(mesh.VertexCount());
  state.counters["triangles"] = double(mesh.TriangleCount());
}
BENCHMARK(BM_ExportMaterialsGlb)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
