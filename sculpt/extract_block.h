#pragma once
// Marching-cubes extraction of one block of cells into its record's vertex list.
#include <cstdint>
struct TessBlock;
class VoxelGrid;

inline constexpr float kIsoLevel = 0.5f;
inline constexpr int16_t kIsoSample = 16383;  // samples below this lie outside the material

// Extracts the cells whose lowest corner lies in the box (x0, y0, z0) + size, leaving out the
// cells at 0, N-2 and N-1 on every axis (their gradients would need samples outside the grid).
// Reads only the grid and writes only `block`: safe for different blocks on different threads.
// Ends with dirty = 0 and uploadPending = 1.
void ExtractBlock(const VoxelGrid& grid, int x0, int y0, int z0, int sizeX, int sizeY, int sizeZ,
                  TessBlock& block);

// Sizes the calling thread's scratch for blocks of blockSize cells a side, so that the first
// extraction on the thread allocates nothing.
void PrepareExtractionScratch(const VoxelGrid& grid, int blockSize);
