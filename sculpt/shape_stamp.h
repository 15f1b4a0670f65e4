#pragma once
#include <cstdint>

#include "base/math_types.h"
#include "sculpt/channel_write.h"
#include "sculpt/stamp_slab.h"

class VoxelGrid;


// Stamps a box (type 2) or cylinder (type 3) whose unit local space (-1..1 on each axis) M maps
// into grid space. Any other type writes nothing.
void StampShape(VoxelGrid& grid, int shapeType, const Matrix4x4& M, int channel, int mode,
                float value);

// The same for several channels at once. The weights depend only on the shape, so each row is
// weighed once and then written into every channel; the result is the same as one StampShape per
// channel.
void StampShapeChannels(VoxelGrid& grid, int shapeType, const Matrix4x4& M,
                        const ChannelWrite* writes, int writeCount);
// The part of that stamp inside one slab of z planes.
void StampShapeChannels(VoxelGrid& grid, int shapeType, const Matrix4x4& M,
                        const ChannelWrite* writes, int writeCount, const StampSlab& slab);
