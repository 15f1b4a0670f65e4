#pragma once
#include <cstdint>

// The vertex of every mesh that is not a sculpture block, and of the panel's quads and glyphs.
struct SimpleVertex {
  float position[3];
  float normal[3];
  float uv[2];
  uint32_t color;  // RGBA8, red in the lowest byte
};
static_assert(sizeof(SimpleVertex) == 36);

enum VertexFormat : int32_t { SIMPLE_VERTEX = 0 };

// Bytes per vertex of a format; 0 for any format that is not defined.
inline int32_t VertexFormatSize(int32_t format) { return format == SIMPLE_VERTEX ? 36 : 0; }
