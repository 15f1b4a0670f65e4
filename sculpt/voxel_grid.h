#pragma once
// The sculpture's sample grid: size^3 samples per channel, channels stored one after another,
// x fastest. Every writer keeps samples in 0..32767.
#include <cstdint>
#include <vector>

#include "base/math_types.h"
#include "sculpt/sample_buffer.h"

class GridChangeListener;

enum Channel : int {
  kChannelShape = 0,
  kChannelRed = 1,
  kChannelGreen = 2,
  kChannelBlue = 3,
  kChannelMetalness = 4,
  kChannelRoughness = 5,
};

inline constexpr int kGridSize = 192;
inline constexpr int kGridChannels = 6;
inline constexpr uint32_t kAllChannels = 63;
inline constexpr int16_t kFullSample = 32767;
inline constexpr int kScratchRows = 4;
inline constexpr float kSampleToFloat = 1.0f / 32767.0f;  // 0.00003051851

class VoxelGrid {
 public:
  VoxelGrid(int size, int channelCount);
  VoxelGrid(const VoxelGrid&) = delete;
  VoxelGrid& operator=(const VoxelGrid&) = delete;

  // Zeroes every channel whose bit is set (bits past channelCount are ignored), then tells the
  // listener, when there is one, that every sample changed.
  void ClearChannels(uint32_t mask);
  // Zeroes planes zBegin..zEnd-1 of every channel whose bit is set; marks nothing.
  void ClearChannelPlanes(uint32_t mask, int zBegin, int zEnd);
  // The stored sample nearest below a grid-space point, coordinates clamped into the grid.
  int16_t SampleAt(Vec3 point, int channel) const;

  int16_t* ChannelData(int channel) { return samples.data() + size_t(channel) * channelSize; }
  const int16_t* ChannelData(int channel) const {
    return samples.data() + size_t(channel) * channelSize;
  }
  int Index(int x, int y, int z) const { return x + y * strideY + z * strideZ; }

  int32_t size;
  int32_t channelCount;
  int32_t strideY;
  int32_t strideZ;
  int32_t channelSize;
  // channelCount * channelSize samples, plus a small tail so that vector loads that run a few
  // samples past the end of the last row stay inside the allocation.
  SampleBuffer samples;
  // Brush weights of the rows being stamped by the shaped stamps: kScratchRows rows of
  // size + 8 floats (rows are weighed four at a time, one per vector lane).
  std::vector<float> scratchRows;
  // Told of every change by whoever makes it; may be null.
  GridChangeListener* listener = nullptr;
};

// Float to sample value: clamps to 0..1, truncates v * 32767; NaN gives 0.
int16_t QuantizeSample(float v);
// Integer part of v clamped to lo..hi, with NaN giving lo. Float-to-int conversion of values the
// integer type cannot hold is undefined, so every brush bound goes through this.
// Inline: the sphere stamp calls it twice per row.
inline int ClampTruncate(float v, int lo, int hi) {
  if (!(v > float(lo))) return lo;
  if (v >= float(hi)) return hi;
  const int i = static_cast<int>(v);
  return i < lo ? lo : (i > hi ? hi : i);
}
