#pragma once
#include "base/math_types.h"
#include "sculpt/channel_write.h"
#include "sculpt/stamp_slab.h"

class VoxelGrid;

// Writes one channel inside a sphere (centre in grid samples, radius in samples) and reports the
// scanned box to the grid's listener.
void StampSphere(VoxelGrid& grid, Vec3 centre, float radius, int channel, int mode, float value);

// The same for several channels at once: each row's run inside the sphere is found once and
// written into every channel, with the same result as one StampSphere per channel.
void StampSphereChannels(VoxelGrid& grid, Vec3 centre, float radius, const ChannelWrite* writes,
                         int writeCount);
// The part of that stamp inside one slab of z planes.
void StampSphereChannels(VoxelGrid& grid, Vec3 centre, float radius, const ChannelWrite* writes,
                         int writeCount, const StampSlab& slab);
