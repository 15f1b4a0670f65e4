#include "sculpt/vertex_buffer_pool.h"

#include <algorithm>

#include "gfx/draw_context.h"

VertexBufferPool::~VertexBufferPool() { Release(); }

bool VertexBufferPool::Create(Draw::DrawContext* draw, size_t bytes) {
  Release();
  buffer_ = draw->CreateBuffer(nullptr, bytes, 0);  // written with WriteData
  if (buffer_ == nullptr) return false;
  // Written now, in pieces, so that the driver's memory behind it is in place before the first
  // upload that counts.
  const std::vector<char> zeros(size_t(4) << 20, 0);
  for (size_t offset = 0; offset < bytes; offset += zeros.size())
    buffer_->WriteData(zeros.data(), std::min(zeros.size(), bytes - offset), offset);
  size_ = bytes;
  Reset();
  return true;
}

void VertexBufferPool::Release() {
  delete buffer_;
  buffer_ = nullptr;
  size_ = 0;
  Reset();
}

bool VertexBufferPool::Allocate(size_t bytes, size_t* offset) {
  const int sizeClass = ChunkClassOf(bytes);
  if (buffer_ == nullptr || sizeClass >= kChunkClassCount) return false;
  std::vector<size_t>& free = free_[sizeClass];
  if (!free.empty()) {
    *offset = free.back();
    free.pop_back();
  } else {
    const size_t size = ChunkClassSize(sizeClass);
    if (size > size_ - used_) return false;
    *offset = used_;
    used_ += size;
  }
  ++inUse_;
  return true;
}

void VertexBufferPool::Free(size_t offset, size_t bytes) {
  free_[ChunkClassOf(bytes)].push_back(offset);
  --inUse_;
}

void VertexBufferPool::Reset() {
  used_ = 0;
  inUse_ = 0;
  for (std::vector<size_t>& free : free_) free.clear();
}
