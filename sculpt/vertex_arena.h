#pragma once
// Memory for the blocks' vertex lists. One reservation of address space on 2 MiB pages is cut
// into chunks of power-of-two sizes; a chunk a list lets go of goes to a free list of its size
// and is handed out again. Pages once touched stay with the process, so meshing after a load
// writes into memory that is already there instead of fresh pages the kernel must first fault in
// and zero, and a page that is fresh costs one fault per 2 MiB instead of one per 4 KiB.
// Thread-safe: the tessellation team resizes lists on several threads.
#include <cstddef>
#include <new>
#include <utility>

// Sets the arena up, once per process, with its first pages faulted in.
void PrepareVertexMemory();
void* AllocateVertexMemory(size_t bytes);
// `bytes` as given to the allocation.
void FreeVertexMemory(void* memory, size_t bytes);

// Leaves new elements uninitialised on resize: extraction overwrites every vertex it sizes the
// list for, so zero-filling megabytes first would only cost time.
template <class T>
struct VertexArenaAllocator {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = VertexArenaAllocator<U>;
  };
  VertexArenaAllocator() = default;
  template <class U>
  VertexArenaAllocator(const VertexArenaAllocator<U>&) {}

  T* allocate(size_t n) {
    if (n > size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateVertexMemory(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) { FreeVertexMemory(p, n * sizeof(T)); }

  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const VertexArenaAllocator<U>&) const {
    return true;
  }
};
