#include "sculpt/sculpt_op.h"

#include <cmath>

#include "sculpt/shape_stamp.h"
#include "sculpt/sphere_stamp.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/stamp_slab.h"
#include "sculpt/voxel_grid.h"

float ChannelValue(const SculptOp& op, int channel) {
  switch (channel) {
    case kChannelRed: return op.red;
    case kChannelGreen: return op.green;
    case kChannelBlue: return op.blue;
    case kChannelMetalness: return op.metalness;
    case kChannelRoughness: return op.roughness;
    default: return 0.0f;
  }
}

bool HoldsOnlyFiniteNumbers(const SculptOp& op) {
  if (op.type != kOpSphere && op.type != kOpBox && op.type != kOpCylinder) return true;
  for (float v : op.matrix.m)
    if (!std::isfinite(v)) return false;
  const float values[] = {op.radius, op.red, op.green, op.blue, op.roughness, op.metalness};
  for (float v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

void ApplyOperationToGrid(VoxelGrid& grid, const SculptOp& op) {
  if (op.type == kOpClear) {
    grid.ClearChannels(op.channelMask);
    return;
  }
  ApplyOperationToSlab(grid, op, WholeGrid(grid));
}

bool ClearsEveryChannel(const SculptOp& op) {
  return op.type == kOpClear && (op.channelMask & kAllChannels) == kAllChannels;
}

void ApplyOperationToSlab(VoxelGrid& grid, const SculptOp& op, const StampSlab& slab) {
  if (op.type == kOpClear) {
    grid.ClearChannelPlanes(op.channelMask, slab.zBegin, slab.zEnd);
    const int min[3] = {0, 0, slab.zBegin}, max[3] = {grid.size, grid.size, slab.zEnd};
    ReportStampBox(grid, slab, min, max);
    return;
  }
  ChannelWrite writes[kGridChannels];
  int count = 0;
  for (int c = 0; c < kGridChannels; ++c) {
    if (!(op.channelMask & (1u << c))) continue;
    writes[count++] = c == kChannelShape ? ChannelWrite{c, op.mode, 0.0f}
                                         : ChannelWrite{c, kStampSet, ChannelValue(op, c)};
  }
  if (op.type == kOpSphere) {
    Vec3 centre{op.matrix.m[12], op.matrix.m[13], op.matrix.m[14]};
    StampSphereChannels(grid, centre, op.radius, writes, count, slab);
  } else {
    StampShapeChannels(grid, op.type, op.matrix, writes, count, slab);
  }
}

int ToolIndexFromName(std::string_view name) {
  static constexpr std::string_view kNames[] = {"Add",  "Subtract", "Paint",
                                                "Dropper", "Buff", "Sandpaper"};
  for (int i = 0; i < 6; ++i)
    if (name == kNames[i]) return i;
  return kToolAdd;
}

OpType ShapeTypeFromName(std::string_view name) {
  if (name == "Box") return kOpBox;
  if (name == "Cylinder") return kOpCylinder;
  return kOpSphere;
}
