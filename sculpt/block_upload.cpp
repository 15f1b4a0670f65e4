#include "gfx/draw_context.h"
#include "sculpt/block_tessellator.h"

int BlockTessellator::TessellateDirtyBlocks(Draw::DrawContext* draw, float budgetSeconds) {
  const int dirty = ExtractDirtyBlocks(budgetSeconds);
  // Uploads are whole-buffer re-creations on this thread: the drawing context belongs to it.
  for (TessBlock& block : records) {
    if (!block.uploadPending) continue;
    delete block.vertexBuffer;
    block.vertexBuffer = nullptr;
    const size_t bytes = block.vertices.size() * sizeof(SculptVertex);
    if (bytes >= sizeof(SculptVertex)) {
      block.vertexCount = int32_t(bytes / sizeof(SculptVertex));
      block.vertexBuffer = draw->CreateBuffer(block.vertices.data(), bytes, Draw::STATIC);
    }
    block.uploadPending = 0;
  }
  return dirty;
}

void BlockTessellator::DrawBlocks(Draw::DrawContext* draw) const {
  for (const TessBlock& block : records) {
    if (!block.vertexBuffer) continue;
    draw->BindVertexBuffer(0, block.vertexBuffer, 0);
    draw->Draw(Draw::Primitive::TRIANGLE_LIST, 0, block.vertexCount);
  }
}

void BlockTessellator::ReleaseBuffers() {
  for (TessBlock& block : records) {
    delete block.vertexBuffer;
    block.vertexBuffer = nullptr;
    block.vertexCount = 0;
  }
}
