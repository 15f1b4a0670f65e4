#pragma once
// Divides the grid into cubic blocks, each with its own extracted surface and a dirty flag, and
// re-extracts the dirty ones on a team of threads. It listens to the grid: whoever changes
// samples tells it, and the blocks those samples reach become dirty.
#include <cstdint>
#include <memory>
#include <vector>

#include "sculpt/grid_change_listener.h"
#include "sculpt/sculpt_vertex.h"
#include "sculpt/vertex_arena.h"
#include "sculpt/vertex_buffer_pool.h"

namespace Draw {
class Buffer;
class DrawContext;
}
class VoxelGrid;

using SculptVertexList = std::vector<SculptVertex, VertexArenaAllocator<SculptVertex>>;

struct TessBlock {
  uint8_t dirty = 1;
  uint8_t uploadPending = 0;
  // Where the drawing side holds the vertices: a range of the tessellator's pool when poolBytes
  // is not 0, else a buffer of the block's own (when the pool had no room), else nowhere.
  Draw::Buffer* vertexBuffer = nullptr;
  size_t poolOffset = 0;
  size_t poolBytes = 0;
  SculptVertexList vertices;  // three per triangle, no index list
  int32_t vertexCount = 0;  // set by the upload: vertices on the drawing side
};

inline constexpr int kBlockSize = 32;
// The drawing side's vertex pool: a sculpture of about half a million triangles.
inline constexpr size_t kVertexPoolBytes = size_t(64) << 20;
inline constexpr int kTessellationThreads = 4;

class BlockTessellator final : public GridChangeListener {
 public:
  BlockTessellator(VoxelGrid* grid, int blockSize);

  // GridChangeListener: changed samples mark their blocks as MarkDirty, MarkAllDirty,
  // MarkBlocks and MarkDirtyBlocks do; TakeChangedBlocks takes the touched flags.
  void SamplesChanged(const int min[3], const int max[3]) override { MarkDirty(min, max); }
  void AllSamplesChanged() override { MarkAllDirty(); }
  int BlockSize() const override { return blockSize; }
  int BlockCount() const override { return blockCount; }
  void MarkChangedBlocks(const int min[3], const int max[3], uint8_t* marks) const override {
    MarkBlocks(min, max, marks);
  }
  void BlocksChanged(const uint8_t* marks) override { MarkDirtyBlocks(marks); }
  std::vector<int> TakeChangedBlocks() override;

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
  // Deletes every block's vertex buffer and the pool (before the drawing context goes away).
  void ReleaseBuffers();

  VoxelGrid* grid;
  int32_t blocksX, blocksY, blocksZ;
  int32_t blockSize;
  int32_t blockCount;
  std::vector<TessBlock> records;
  // Set with the dirty flag, but cleared only by the history (which keeps before-images of the
  // blocks a stroke wrote), not by re-meshing.
  std::vector<uint8_t> touched;
  // The size of the drawing side's vertex pool, made by the first upload.
  size_t vertexPoolBytes = kVertexPoolBytes;

 private:
  void ReleaseBlockBuffer(TessBlock& block);

  VertexBufferPool pool_;
  bool poolTried_ = false;
};
