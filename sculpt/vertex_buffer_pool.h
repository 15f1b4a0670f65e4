#pragma once
// The blocks' vertices on the drawing side: one buffer, cut into ranges of the chunk size classes.
// A driver backs a new buffer with fresh memory that the kernel must first fault in and zero,
// about 2 ms per megabyte here; uploading a loaded sculpture's 50 MB into new buffers cost more
// than meshing it. The pool's buffer is written once when made, and ranges are reused after that.
#include <cstddef>
#include <vector>

#include "sculpt/size_class.h"

namespace Draw {
class Buffer;
class DrawContext;
}

class VertexBufferPool {
 public:
  VertexBufferPool() = default;
  ~VertexBufferPool();
  VertexBufferPool(const VertexBufferPool&) = delete;
  VertexBufferPool& operator=(const VertexBufferPool&) = delete;

  // Makes the buffer of `bytes` on the drawing context and writes all of it. False, and the pool
  // stays empty (every Allocate fails), when the buffer could not be made.
  bool Create(Draw::DrawContext* draw, size_t bytes);
  // Deletes the buffer (before the drawing context goes away); the pool is empty again.
  void Release();

  // A range of at least `bytes` at *offset; false when the pool has none left.
  bool Allocate(size_t bytes, size_t* offset);
  // `bytes` as given to Allocate.
  void Free(size_t offset, size_t bytes);
  // Every range free: the whole buffer is handed out afresh, in one piece, from its start.
  void Reset();

  Draw::Buffer* GetBuffer() const { return buffer_; }
  size_t RangesInUse() const { return inUse_; }

 private:
  Draw::Buffer* buffer_ = nullptr;
  size_t size_ = 0;
  size_t used_ = 0;
  size_t inUse_ = 0;
  std::vector<size_t> free_[kChunkClassCount];
};
