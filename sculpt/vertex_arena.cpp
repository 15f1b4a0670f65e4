#include "sculpt/vertex_arena.h"

#include <sys/mman.h>

#include <cstring>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sculpt/size_class.h"

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Address space only: pages are backed when first written. Far beyond any sculpture's vertices;
// past it lists fall back to the ordinary heap.
constexpr size_t kReservedBytes = size_t(32) << 30;
// Faulted in when the arena is set up: the vertices of a sculpture of about half a million
// triangles, which the first meshing after a load would otherwise wait for the kernel to zero.
constexpr size_t kPreparedBytes = size_t(64) << 20;

class VertexArena {
 public:
  VertexArena() {
    void* memory = mmap(nullptr, kReservedBytes + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) return;
    const uintptr_t address = reinterpret_cast<uintptr_t>(memory);
    base_ = reinterpret_cast<char*>((address + kHugePage - 1) & ~(kHugePage - 1));
    madvise(base_, kReservedBytes, MADV_HUGEPAGE);  // a hint; plain pages work too
    // Chunks are handed out from the start of the reservation, so its first pages are the ones
    // the first meshing writes: they are faulted in now, once per process, as the grid's samples
    // are, instead of inside the first meshing after a load.
    if (madvise(base_, kPreparedBytes, MADV_POPULATE_WRITE) != 0)
      std::memset(base_, 0, kPreparedBytes);
  }

  void* Allocate(size_t bytes) {
    const int sizeClass = ChunkClassOf(bytes);
    if (base_ && sizeClass < kChunkClassCount) {
      std::lock_guard<std::mutex> lock(mutex_);
      std::vector<char*>& free = free_[sizeClass];
      if (!free.empty()) {
        char* chunk = free.back();
        free.pop_back();
        return chunk;
      }
      const size_t size = ChunkClassSize(sizeClass);
      if (size <= kReservedBytes - used_) {
        char* chunk = base_ + used_;
        used_ += size;
        return chunk;
      }
    }
    return ::operator new(bytes);
  }

  void Free(void* memory, size_t bytes) {
    char* chunk = static_cast<char*>(memory);
    if (!base_ || chunk < base_ || chunk >= base_ + kReservedBytes) {
      ::operator delete(memory);
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    free_[ChunkClassOf(bytes)].push_back(chunk);
  }

 private:
  char* base_ = nullptr;
  size_t used_ = 0;
  std::mutex mutex_;
  std::vector<char*> free_[kChunkClassCount];
};

// Never destroyed: lists in static objects may be freed after it would have been.
VertexArena& Arena() {
  static VertexArena* arena = new VertexArena;
  return *arena;
}

}  // namespace

void PrepareVertexMemory() { Arena(); }

void* AllocateVertexMemory(size_t bytes) { return Arena().Allocate(bytes); }

void FreeVertexMemory(void* memory, size_t bytes) { Arena().Free(memory, bytes); }
