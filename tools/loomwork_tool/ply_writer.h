#pragma once
// The extracted surface as a binary little-endian PLY, for viewing and checking a sculpture in
// ordinary mesh tools: vertices in world metres with unit normals, colour and material bytes,
// and one face per three consecutive vertices (the blocks hold triangle lists, not indices).
#include <cstddef>
#include <string>

#include "base/math_types.h"

class BlockTessellator;

// World position of grid point p: p / kSamplesPerMetre + kGridOriginMetres.
inline constexpr float kSamplesPerMetre = 96.0f;
inline constexpr Vec3 kGridOriginMetres{-1.0f, 0.0f, -1.0f};

struct PlyCounts {
  size_t vertices = 0;
  size_t faces = 0;
};

// Writes every block's vertex list, blocks in record order, through an AtomicFileWriter.
// Returns false with a message in `error` (and no file at `path` changed) on failure.
bool WriteBlocksAsPly(const BlockTessellator& blocks, const std::string& path, PlyCounts& counts,
                      std::string& error);
