#pragma once
// The 112-byte operation record: every change of the grid goes through one, and a sculpture file
// is the list of them. Identical in memory and on disk (little-endian).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/math_types.h"
#include "sculpt/op_type.h"

class VoxelGrid;

struct SculptOp {
  int32_t type = kOpClear;
  uint8_t reserved[12] = {};  // aligns the matrix; written as zero, ignored when read
  Matrix4x4 matrix;           // unit shape to grid space; the sphere uses only its fourth row
  int32_t mode = 0;           // stamp mode of the shape channel
  float radius = 0;           // sphere radius in samples
  float red = 0, green = 0, blue = 0;
  float roughness = 0;  // channel 5, stored before metalness
  float metalness = 0;  // channel 4
  uint32_t channelMask = 0;
};
static_assert(sizeof(SculptOp) == 112);
static_assert(offsetof(SculptOp, matrix) == 16 && offsetof(SculptOp, mode) == 80);
static_assert(offsetof(SculptOp, radius) == 84 && offsetof(SculptOp, red) == 88);
static_assert(offsetof(SculptOp, roughness) == 100 && offsetof(SculptOp, metalness) == 104);
static_assert(offsetof(SculptOp, channelMask) == 108);

// Stamps one record into the grid: the shape channel with the record's mode and value 0, then
// channels 1..5 with mode 1 and their values. Clear records clear their mask; other types apply
// nothing.
void ApplyOperationToGrid(VoxelGrid& grid, const SculptOp& op);
// The part of that record inside one slab of z planes (see StampSlab).
struct StampSlab;
void ApplyOperationToSlab(VoxelGrid& grid, const SculptOp& op, const StampSlab& slab);

// A record that clears every channel of the whole grid: the grid after it is the same whatever
// came before, so a replay may start there.
bool ClearsEveryChannel(const SculptOp& op);

// False for a sphere, box or cylinder record holding a NaN or infinite number. Such a record would
// be saved but could not be replayed to the same grid, so it never enters the log or a file.
bool HoldsOnlyFiniteNumbers(const SculptOp& op);

// The value a record carries for channel 1..5 (red, green, blue, metalness, roughness).
float ChannelValue(const SculptOp& op, int channel);

enum ToolIndex : int { kToolAdd, kToolSubtract, kToolPaint, kToolDropper, kToolBuff, kToolSandpaper };

// Exact, case-sensitive names; anything else is "Add" / "Sphere".
int ToolIndexFromName(std::string_view name);
OpType ShapeTypeFromName(std::string_view name);
