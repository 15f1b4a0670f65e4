#include "sculpt/voxel_grid.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>

#include "sculpt/grid_change_listener.h"

namespace {
constexpr int kSampleTail = 64;
}

VoxelGrid::VoxelGrid(int size_, int channelCount_)
    : size(size_),
      channelCount(channelCount_),
      strideY(size_),
      strideZ(size_ * size_),
      channelSize(size_ * size_ * size_),
      samples(size_t(channelCount_) * size_t(size_) * size_ * size_ + kSampleTail),
      scratchRows(size_t(kScratchRows) * (size_t(size_) + 8), 0.0f) {
  ClearChannels(kAllChannels);
}

namespace {

// Zeroes a channel with streaming stores: a channel is far larger than the caches, and plain
// stores would first read every line they overwrite.
void ZeroSamples(int16_t* data, size_t count) {
  size_t head = std::min(count, size_t((16 - (reinterpret_cast<uintptr_t>(data) & 15)) & 15) / 2);
  std::fill_n(data, head, int16_t(0));
  size_t i = head;
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= count; i += 8) _mm_stream_si128(reinterpret_cast<__m128i*>(data + i), zero);
  _mm_sfence();
  std::fill(data + i, data + count, int16_t(0));
}

}  // namespace

void VoxelGrid::ClearChannels(uint32_t mask) {
  for (int c = 0; c < channelCount && c < 32; ++c) {
    if (mask & (1u << c)) ZeroSamples(ChannelData(c), size_t(channelSize));
  }
  if (listener) listener->AllSamplesChanged();
}

void VoxelGrid::ClearChannelPlanes(uint32_t mask, int zBegin, int zEnd) {
  if (zBegin >= zEnd) return;
  for (int c = 0; c < channelCount && c < 32; ++c) {
    if (mask & (1u << c))
      ZeroSamples(ChannelData(c) + size_t(zBegin) * size_t(strideZ),
                  size_t(zEnd - zBegin) * size_t(strideZ));
  }
}

int16_t VoxelGrid::SampleAt(Vec3 p, int channel) const {
  if (channel < 0 || channel >= channelCount) return 0;
  int x = ClampTruncate(p.x, 0, size - 1);
  int y = ClampTruncate(p.y, 0, size - 1);
  int z = ClampTruncate(p.z, 0, size - 1);
  return ChannelData(channel)[Index(x, y, z)];
}

int16_t QuantizeSample(float v) {
  if (v > 1.0f) return kFullSample;
  if (!(v >= 0.0f)) return 0;
  return static_cast<int16_t>(v * 32767.0f);
}

