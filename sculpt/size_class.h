#pragma once
// Size classes for memory cut into chunks: from 4 KiB up in steps of a quarter of a power of two
// (4, 5, 6, 7 KiB, 8, 10, ...), so that a chunk wastes at most a fifth of itself. A chunk let go
// of waits on a free list of its class for the next request of that class.
#include <bit>
#include <cstddef>

inline constexpr int kSmallestChunkPower = 12;
inline constexpr int kChunkClassCount = 4 * (48 - kSmallestChunkPower);

// The smallest class whose chunks hold `bytes`.
constexpr int ChunkClassOf(size_t bytes) {
  if (bytes <= (size_t(1) << kSmallestChunkPower)) return 0;
  const int power = std::bit_width(bytes - 1) - 1;  // 2^power < bytes <= 2^(power+1)
  const size_t quarter = size_t(1) << (power - 2);
  const int quarters = int((bytes - 1 - (size_t(1) << power)) / quarter) + 1;  // 1..4
  return (power - kSmallestChunkPower) * 4 + quarters;
}

constexpr size_t ChunkClassSize(int sizeClass) {
  const int power = kSmallestChunkPower + sizeClass / 4;
  return (size_t(4) + size_t(sizeClass % 4)) << (power - 2);
}
