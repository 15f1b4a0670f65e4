#pragma once
// The part of the grid a stamp may write. Replay on several threads gives each thread slabs of z
// planes of its own, with its own scratch rows and block marks, so that the threads write nothing
// in common; a stamp cut into slabs writes the same samples with the same arithmetic as a whole
// one, because no sample's value depends on samples of other planes.
#include <cstdint>

struct StampSlab {
  int zBegin;  // first z plane written
  int zEnd;    // one past the last
  // kScratchRows rows of size + 8 floats for the shaped stamps' weights.
  float* scratchRows;
  // One byte per block of the grid listener's blocks: the blocks whose samples the stamps
  // scanned. Null: the listener is told at once, as for a whole stamp.
  uint8_t* blockMarks;
};

class VoxelGrid;

// The whole grid: every plane, the grid's own scratch rows, changes told straight to its listener.
StampSlab WholeGrid(VoxelGrid& grid);
// Reports the box a stamp scanned (min included, max excluded) to the slab's block marks or, for
// a whole stamp, to the grid's listener: one call per stamp.
void ReportStampBox(VoxelGrid& grid, const StampSlab& slab, const int min[3], const int max[3]);
