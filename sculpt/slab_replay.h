#pragma once
// Replay of many records at once on several threads. The grid is cut into slabs of z planes;
// a thread takes a slab and applies to it, in order, every record that reaches it. Each sample
// therefore sees the same records in the same order, with the same arithmetic, as when the
// records are applied one after another: the grid ends with the same bits.
#include <cstddef>

#include "sculpt/sculpt_op.h"

class VoxelGrid;

// Applies `count` records as ApplyOperationToGrid one after another would, marking the same
// blocks. One thread (or fewer) applies them one after another.
void ReplayRecords(VoxelGrid& grid, const SculptOp* records, size_t count, int threads);

// The threads a load replays on: one per processor.
int ReplayThreadCount();
