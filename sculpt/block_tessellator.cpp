#include "sculpt/block_tessellator.h"

#include <omp.h>

#include <algorithm>

#include "base/timing.h"
#include "sculpt/extract_block.h"
#include "sculpt/marching_cubes_tables.h"
#include "sculpt/voxel_grid.h"

BlockTessellator::BlockTessellator(VoxelGrid* grid_, int blockSize_)
    : grid(grid_),
      blocksX(grid_->size / blockSize_),
      blocksY(grid_->size / blockSize_),
      blocksZ(grid_->size / blockSize_),
      blockSize(blockSize_),
      blockCount(blocksX * blocksY * blocksZ),
      records(size_t(blockCount)),
      touched(size_t(blockCount), 0) {
  VertexCountTable();  // built once here, before any extraction thread needs it
  PrepareVertexMemory();
  PrepareThreads();
}

void BlockTessellator::PrepareThreads() {
  omp_set_num_threads(kTessellationThreads);
#pragma omp parallel num_threads(kTessellationThreads)
  PrepareExtractionScratch(*grid, blockSize);
}

void BlockTessellator::BlockRange(const int min[3], const int max[3], int first[3],
                                  int end[3]) const {
  const int counts[3] = {blocksX, blocksY, blocksZ};
  for (int a = 0; a < 3; ++a) {
    first[a] = std::max(min[a] / blockSize, 0);
    end[a] = std::min((max[a] + blockSize) / blockSize, counts[a]);
  }
}

void BlockTessellator::MarkBlocks(const int min[3], const int max[3], uint8_t* marks) const {
  int first[3], end[3];
  BlockRange(min, max, first, end);
  for (int z = first[2]; z < end[2]; ++z)
    for (int y = first[1]; y < end[1]; ++y)
      for (int x = first[0]; x < end[0]; ++x) marks[size_t(BlockIndex(x, y, z))] = 1;
}

void BlockTessellator::MarkDirtyBlocks(const uint8_t* marks) {
  for (int b = 0; b < blockCount; ++b) {
    if (!marks[b]) continue;
    records[size_t(b)].dirty = 1;
    touched[size_t(b)] = 1;
  }
}

void BlockTessellator::MarkDirty(const int min[3], const int max[3]) {
  int first[3], end[3];
  BlockRange(min, max, first, end);
  for (int z = first[2]; z < end[2]; ++z)
    for (int y = first[1]; y < end[1]; ++y)
      for (int x = first[0]; x < end[0]; ++x) {
        records[size_t(BlockIndex(x, y, z))].dirty = 1;
        touched[size_t(BlockIndex(x, y, z))] = 1;
      }
}

void BlockTessellator::MarkAllDirty() {
  const int min[3] = {0, 0, 0};
  const int max[3] = {blockSize * blocksX, blockSize * blocksY, blockSize * blocksZ};
  MarkDirty(min, max);
}

std::vector<int> BlockTessellator::TakeChangedBlocks() {
  std::vector<int> blocks;
  for (int b = 0; b < blockCount; ++b) {
    if (!touched[size_t(b)]) continue;
    blocks.push_back(b);
    touched[size_t(b)] = 0;
  }
  return blocks;
}

int BlockTessellator::DirtyCount() const {
  return int(std::count_if(records.begin(), records.end(),
                           [](const TessBlock& b) { return b.dirty != 0; }));
}

int BlockTessellator::ExtractDirtyBlocks(float budgetSeconds) {
  struct WorkEntry {
    int32_t x, y, z, record;
  };
  std::vector<WorkEntry> work;
  for (int z = 0; z < blocksZ; ++z)
    for (int y = 0; y < blocksY; ++y)
      for (int x = 0; x < blocksX; ++x) {
        int index = BlockIndex(x, y, z);
        if (records[size_t(index)].dirty) work.push_back({x, y, z, index});
      }
  const int count = int(work.size());
  if (count == 0) return 0;

  const double deadline = TimeNow() + double(budgetSeconds);
  const int b = blockSize;
#pragma omp parallel for num_threads(kTessellationThreads) schedule(static)
  for (int i = 0; i < count; ++i) {
    const WorkEntry& e = work[size_t(i)];
    if (deadline > TimeNow()) {
      TessBlock& block = records[size_t(e.record)];
      ExtractBlock(*grid, b * e.x, b * e.y, b * e.z, b, b, b, block);
      block.dirty = 0;
    }
  }
  return count;
}
