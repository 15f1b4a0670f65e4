#pragma once
// One block of the grid (every channel) as it was at some moment, compressed: the unit of undo's
// before-images and of the history's grid checkpoints. Blocks are numbered as the block index
// numbers them (x fastest).
#include <cstddef>
#include <cstdint>
#include <vector>

class VoxelGrid;

struct BlockImage {
  int32_t block = -1;
  std::vector<uint8_t> bytes;  // LZ4 of the block's samples, channel by channel, x fastest
};

// Compresses block `block` of `grid` (blocks of blockSize samples a side).
BlockImage CaptureBlockImage(const VoxelGrid& grid, int block, int blockSize);
// Writes the image back into the same block of `grid` (which may be another grid of the same
// size). False, with the grid unchanged, when the image does not decompress to a whole block.
bool RestoreBlockImage(VoxelGrid& grid, const BlockImage& image, int blockSize);
// Copies one block's samples from `from` to `to` (grids of the same size).
void CopyBlock(const VoxelGrid& from, VoxelGrid& to, int block, int blockSize);
// The block's first sample per axis.
void BlockOrigin(const VoxelGrid& grid, int block, int blockSize, int origin[3]);
