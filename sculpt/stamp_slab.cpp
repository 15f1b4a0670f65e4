#include "sculpt/stamp_slab.h"

#include "sculpt/grid_change_listener.h"
#include "sculpt/voxel_grid.h"

StampSlab WholeGrid(VoxelGrid& grid) { return {0, grid.size, grid.scratchRows.data(), nullptr}; }

void ReportStampBox(VoxelGrid& grid, const StampSlab& slab, const int min[3], const int max[3]) {
  if (!grid.listener) return;
  if (slab.blockMarks)
    grid.listener->MarkChangedBlocks(min, max, slab.blockMarks);
  else
    grid.listener->SamplesChanged(min, max);
}
