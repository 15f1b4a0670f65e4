#pragma once
// A long sculpture as a person makes one: strokes of sphere records along smooth paths, one record
// a frame, in add, subtract, paint and buff, with a few clears along the way. For timing replay,
// loading and meshing of long histories, and for checking replay paths against each other.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sculpt/sculpt_op.h"

// Ten minutes of stroking at 90 records a second: the long history the benchmarks time.
inline constexpr size_t kStrokeSculptureRecords = 50000;

// `count` records (the first clears every channel), the same for the same count and seed.
std::vector<SculptOp> StrokeSculptureRecords(size_t count, uint32_t seed = 1);
