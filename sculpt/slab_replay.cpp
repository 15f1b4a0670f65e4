#include "sculpt/slab_replay.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

#include "sculpt/grid_change_listener.h"
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
  // Whatever came before the last record that clears everything is wiped by it, and that clear
  // marks every block: a history of many New actions replays as its last one alone.
  for (size_t i = count; i-- > 1;) {
    if (ClearsEveryChannel(records[i])) {
      records += i;
      count -= i;
      break;
    }
  }
  if (count == 0) return;
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) ApplyOperationToGrid(grid, records[i]);
    return;
  }
  const int n = grid.size;
  std::vector<PlaneRange> planes(count);
  for (size_t i = 0; i < count; ++i) planes[i] = PlanesOf(records[i], n);

  const int slabCount = (n + kSlabPlanes - 1) / kSlabPlanes;
  const size_t blockCount = grid.listener ? size_t(grid.listener->BlockCount()) : 0;
  std::vector<std::vector<uint8_t>> marks(size_t(threads), std::vector<uint8_t>(blockCount, 0));
  std::atomic<int> nextSlab{0};
  auto work = [&](int thread) {
    std::vector<float> scratch(grid.scratchRows.size(), 0.0f);
    uint8_t* threadMarks = grid.listener ? marks[size_t(thread)].data() : nullptr;
    for (int s = nextSlab.fetch_add(1); s < slabCount; s = nextSlab.fetch_add(1)) {
      const StampSlab slab{s * kSlabPlanes, std::min(n, (s + 1) * kSlabPlanes), scratch.data(),
                           threadMarks};
      for (size_t i = 0; i < count; ++i) {
        if (planes[i].begin < slab.zEnd && planes[i].end > slab.zBegin)
          ApplyOperationToSlab(grid, records[i], slab);
      }
    }
  };
  // Threads of its own, gone when the replay returns: a pool's idle threads would take signals
  // meant for the calling thread, which may have them blocked (the atomic file writer does).
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) {
    // Without a helper the slabs it would have taken fall to the others.
    try {
      helpers.emplace_back(work, t);
    } catch (const std::system_error&) {
      break;
    }
  }
  work(0);
  for (std::thread& helper : helpers) helper.join();
  if (grid.listener)
    for (const std::vector<uint8_t>& m : marks) grid.listener->BlocksChanged(m.data());
}
