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
  // One byte per block of the grid's block index: the blocks whose samples the stamps scanned.
  // Null: the block index itself is marked, as a whole stamp does.
  uint8_t* blockMarks;
};

class VoxelGrid;

// The whole grid: every plane, the grid's own scratch rows, marks straight into its block index.
StampSlab WholeGrid(VoxelGrid& grid);
// Reports the box a stamp scanned (min included, max excluded) to the slab's block marks or, for
// a whole stamp, to the grid's block index.
void ReportStampBox(VoxelGrid& grid, const StampSlab& slab, const int min[3], const int max[3]);
