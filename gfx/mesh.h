#pragma once
// A small GPU mesh: vertices followed by 32-bit indices in one buffer.
#include <cstdint>
#include <vector>

#include "gfx/draw_context.h"
#include "gfx/simple_vertex.h"

class Mesh {
 public:
  void Create(Draw::DrawContext* context, const std::vector<SimpleVertex>& vertices,
              const std::vector<uint32_t>& indices);
  void Create(Draw::DrawContext* context, const SimpleVertex* vertexData, uint32_t vertexCount,
              const uint32_t* indexData, uint32_t indexCount);
  // The caller has bound a pipeline whose vertex layout reads SimpleVertex.
  void Draw(Draw::DrawContext* context) const;
  void Release();

  Draw::Buffer* buffer = nullptr;
  uint32_t indexCount = 0;
  uint32_t indexOffset = 0;  // bytes: vertex count x 36
};
