#include "sculpt/history_block_image.h"

#include <lz4.h>

#include <algorithm>
#include <cstring>

#include "sculpt/voxel_grid.h"

namespace {

size_t BlockBytes(const VoxelGrid& grid, int blockSize) {
  return size_t(blockSize) * blockSize * blockSize * size_t(grid.channelCount) * sizeof(int16_t);
}

// Visits the block's rows, channel by channel: fn(row of the grid channel, index of the row in
// the block's packed layout).
template <class Grid, class Fn>
void ForEachRow(Grid& grid, int block, int blockSize, Fn fn) {
  int origin[3];
  BlockOrigin(grid, block, blockSize, origin);
  size_t row = 0;
  for (int c = 0; c < grid.channelCount; ++c) {
    auto* channel = grid.ChannelData(c);
    for (int z = 0; z < blockSize; ++z)
      for (int y = 0; y < blockSize; ++y, ++row)
        fn(channel + grid.Index(origin[0], origin[1] + y, origin[2] + z), row);
  }
}

}  // namespace

void BlockOrigin(const VoxelGrid& grid, int block, int blockSize, int origin[3]) {
  const int perAxis = grid.size / blockSize;
  origin[0] = (block % perAxis) * blockSize;
  origin[1] = (block / perAxis % perAxis) * blockSize;
  origin[2] = (block / (perAxis * perAxis)) * blockSize;
}

// Whole grids are captured block after block on several threads: each thread packs and compresses
// in buffers of its own, kept for the next block, so only the compressed bytes are allocated (large
// passing allocations would leave the heap fragmented and the process bigger for good).
std::vector<int16_t>& PackedBuffer(size_t samples) {
  thread_local std::vector<int16_t> packed;
  packed.resize(samples);
  return packed;
}

BlockImage CaptureBlockImage(const VoxelGrid& grid, int block, int blockSize) {
  const size_t rowBytes = size_t(blockSize) * sizeof(int16_t);
  std::vector<int16_t>& packed = PackedBuffer(BlockBytes(grid, blockSize) / sizeof(int16_t));
  ForEachRow(grid, block, blockSize, [&](const int16_t* source, size_t row) {
    std::memcpy(packed.data() + row * size_t(blockSize), source, rowBytes);
  });
  const int rawSize = int(packed.size() * sizeof(int16_t));
  thread_local std::vector<char> compressed;
  compressed.resize(size_t(LZ4_compressBound(rawSize)));
  const int size = LZ4_compress_default(reinterpret_cast<const char*>(packed.data()),
                                        compressed.data(), rawSize, int(compressed.size()));
  BlockImage image;
  image.block = block;
  image.bytes.assign(compressed.begin(), compressed.begin() + std::max(size, 0));
  return image;
}

bool RestoreBlockImage(VoxelGrid& grid, const BlockImage& image, int blockSize) {
  const size_t rowBytes = size_t(blockSize) * sizeof(int16_t);
  std::vector<int16_t>& packed = PackedBuffer(BlockBytes(grid, blockSize) / sizeof(int16_t));
  const int rawSize = int(packed.size() * sizeof(int16_t));
  const int size = LZ4_decompress_safe(reinterpret_cast<const char*>(image.bytes.data()),
                                       reinterpret_cast<char*>(packed.data()),
                                       int(image.bytes.size()), rawSize);
  if (size != rawSize) return false;
  ForEachRow(grid, image.block, blockSize, [&](int16_t* target, size_t row) {
    std::memcpy(target, packed.data() + row * size_t(blockSize), rowBytes);
  });
  return true;
}

void CopyBlock(const VoxelGrid& from, VoxelGrid& to, int block, int blockSize) {
  const size_t rowBytes = size_t(blockSize) * sizeof(int16_t);
  const int16_t* base = from.samples.data();
  int16_t* target = to.samples.data();
  ForEachRow(from, block, blockSize, [&](const int16_t* source, size_t) {
    std::memcpy(target + (source - base), source, rowBytes);
  });
}
