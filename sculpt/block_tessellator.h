#pragma once
// Divides the grid into cubic blocks, each with its own extracted surface and a dirty flag, and
// re-extracts the dirty ones on a team of threads.
#include <cstdint>
#include <memory>
#include <vector>

#include "sculpt/sculpt_vertex.h"
#include "sculpt/vertex_arena.h"

namespace Draw {
class Buffer;
class DrawContext;
}
class VoxelGrid;

using SculptVertexList = std::vector<SculptVertex, VertexArenaAllocator<SculptVertex>>;

struct TessBlock {
  uint8_t dirty = 1;
  uint8_t uploadPending = 0;
  Draw::Buffer* vertexBuffer = nullptr;
  SculptVertexList vertices;  // three per triangle, no index list
  int32_t vertexCount = 0;  // set by the upload: vertices in vertexBuffer
};

inline constexpr int kBlockSize = 32;
inline constexpr int kTessellationThreads = 4;

class BlockTessellator {
 public:
  BlockTessellator(VoxelGrid* grid, int blockSize);

  // min is the first touched sample per axis, max one past the last.
  void MarkDirty(const int min[3], const int max[3]);
  void MarkAllDirty();
  // Sets marks[block] for the blocks MarkDirty would mark, leaving the records alone; then
  // MarkDirtyBlocks marks the records of every block whose mark is set.
  void MarkBlocks(const int min[3], const int max[3], uint8_t* marks) const;
  void MarkDirtyBlocks(const uint8_t* marks);
  // The blocks from first to end (excluded) per axis that a change from min to max reaches.
  void BlockRange(const int min[3], const int max[3], int first[3], int end[3]) const;

  int BlockIndex(int bx, int by, int bz) const { return bx + blocksX * (by + blocksY * bz); }
  TessBlock& Block(int index) { return records[size_t(index)]; }
  const TessBlock& Block(int index) const { return records[size_t(index)]; }
  int DirtyCount() const;

  // Starts the calling thread's tessellation team and sizes each member's scratch, so that the
  // first meshing (after a load, say) pays for neither. The constructor calls it; a tessellator
  // made on one thread and used on another calls it again on that one.
  void PrepareThreads();

  // Extracts dirty blocks, in record order, on a team of kTessellationThreads threads with a
  // static schedule. A block is started only while budgetSeconds have not passed since the call
  // began; blocks left over stay dirty. Returns the number of blocks that were dirty at the start.
  int ExtractDirtyBlocks(float budgetSeconds);

  // One frame of re-meshing: extracts dirty blocks within the budget, then replaces the vertex
  // buffer of every block with a new extraction (a block left with no vertices loses its buffer).
  // Returns the number of blocks that were dirty at the start. Runs on the drawing thread.
  int TessellateDirtyBlocks(Draw::DrawContext* draw, float budgetSeconds);
  // Draws every block that has a buffer; the caller has bound the pipeline and uniforms.
  void DrawBlocks(Draw::DrawContext* draw) const;
  // Deletes every block's vertex buffer (before the drawing context goes away).
  void ReleaseBuffers();

  VoxelGrid* grid;
  int32_t blocksX, blocksY, blocksZ;
  int32_t blockSize;
  int32_t blockCount;
  std::vector<TessBlock> records;
  // Set with the dirty flag, but cleared only by the history (which keeps before-images of the
  // blocks a stroke wrote), not by re-meshing.
  std::vector<uint8_t> touched;
};
