#include "sculpt/stamp_slab.h"

#include "sculpt/block_tessellator.h"
#include "sculpt/voxel_grid.h"

StampSlab WholeGrid(VoxelGrid& grid) { return {0, grid.size, grid.scratchRows.data(), nullptr}; }

void ReportStampBox(VoxelGrid& grid, const StampSlab& slab, const int min[3], const int max[3]) {
  if (!grid.blocks) return;
  if (slab.blockMarks)
    grid.blocks->MarkBlocks(min, max, slab.blockMarks);
  else
    grid.blocks->MarkDirty(min, max);
}
