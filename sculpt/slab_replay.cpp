#include "sculpt/slab_replay.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/stamp_slab.h"
#include "sculpt/voxel_grid.h"

namespace {

// Eight planes of six channels are 3.5 MB: a slab's records work in the cache, and the 24 slabs
// of the grid spread evenly over a few threads.
constexpr int kSlabPlanes = 8;

struct PlaneRange {
  int begin, end;
};

// Planes a record may write: a sphere's scanned box (the stamp finds the exact one), every plane
// for anything else.
PlaneRange PlanesOf(const SculptOp& op, int n) {
  if (op.type != kOpSphere) return {0, n};
  const float scan = std::max(op.radius, 3.0f);
  const float z = op.matrix.m[14];
  return {ClampTruncate(std::floor(z - scan), 0, n), ClampTruncate(std::ceil(z + scan), 0, n)};
}

}  // namespace

int ReplayThreadCount() { return std::clamp(omp_get_num_procs(), 1, 16); }

void ReplayRecords(VoxelGrid& grid, const SculptOp* records, size_t count, int threads) {
  if (count == 0) return;
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) ApplyOperationToGrid(grid, records[i]);
    return;
  }
  const int n = grid.size;
  std::vector<PlaneRange> planes(count);
  for (size_t i = 0; i < count; ++i) planes[i] = PlanesOf(records[i], n);

  const int slabCount = (n + kSlabPlanes - 1) / kSlabPlanes;
  const size_t blockCount = grid.blocks ? size_t(grid.blocks->blockCount) : 0;
  std::vector<std::vector<uint8_t>> marks(size_t(threads), std::vector<uint8_t>(blockCount, 0));
#pragma omp parallel num_threads(threads)
  {
    std::vector<float> scratch(grid.scratchRows.size(), 0.0f);
    uint8_t* threadMarks = grid.blocks ? marks[size_t(omp_get_thread_num())].data() : nullptr;
#pragma omp for schedule(dynamic, 1)
    for (int s = 0; s < slabCount; ++s) {
      const StampSlab slab{s * kSlabPlanes, std::min(n, (s + 1) * kSlabPlanes), scratch.data(),
                           threadMarks};
      for (size_t i = 0; i < count; ++i) {
        if (planes[i].begin < slab.zEnd && planes[i].end > slab.zBegin)
          ApplyOperationToSlab(grid, records[i], slab);
      }
    }
  }
  if (grid.blocks)
    for (const std::vector<uint8_t>& m : marks) grid.blocks->MarkDirtyBlocks(m.data());
}
