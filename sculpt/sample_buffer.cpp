#include "sculpt/sample_buffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}

SampleBuffer::SampleBuffer(size_t count) : count_(count) {
  size_t bytes = (count * sizeof(int16_t) + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, bytes);
  if (!memory) throw std::bad_alloc();
  madvise(memory, bytes, MADV_HUGEPAGE);  // only a hint; plain pages work too
  std::memset(memory, 0, bytes);
  data_ = static_cast<int16_t*>(memory);
}

SampleBuffer::~SampleBuffer() { std::free(data_); }
