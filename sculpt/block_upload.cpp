#include "gfx/draw_context.h"
#include "sculpt/block_tessellator.h"

int BlockTessellator::TessellateDirtyBlocks(Draw::DrawContext* draw, float budgetSeconds) {
  const int dirty = ExtractDirtyBlocks(budgetSeconds);
  // Uploads run on this thread: the drawing context belongs to it.
  if (!poolTried_) {
    poolTried_ = true;
    pool_.Create(draw, vertexPoolBytes);
  }
  // The ranges of the blocks about to be uploaded are let go of first; when that leaves none in
  // use (a load re-meshes every block), the pool is handed out afresh, in one piece.
  for (TessBlock& block : records)
    if (block.uploadPending) ReleaseBlockBuffer(block);
  if (pool_.RangesInUse() == 0) pool_.Reset();
  for (TessBlock& block : records) {
    if (!block.uploadPending) continue;
    block.uploadPending = 0;
    const size_t bytes = block.vertices.size() * sizeof(SculptVertex);
    if (bytes == 0) continue;
    size_t offset = 0;
    if (pool_.Allocate(bytes, &offset)) {
      pool_.GetBuffer()->WriteData(block.vertices.data(), bytes, offset);
      block.poolOffset = offset;
      block.poolBytes = bytes;
    } else {
      block.vertexBuffer = draw->CreateBuffer(block.vertices.data(), bytes, Draw::STATIC);
      if (block.vertexBuffer == nullptr) continue;
    }
    block.vertexCount = int32_t(block.vertices.size());
  }
  return dirty;
}

void BlockTessellator::ReleaseBlockBuffer(TessBlock& block) {
  if (block.poolBytes != 0) pool_.Free(block.poolOffset, block.poolBytes);
  block.poolBytes = 0;
  delete block.vertexBuffer;
  block.vertexBuffer = nullptr;
  block.vertexCount = 0;
}

void BlockTessellator::DrawBlocks(Draw::DrawContext* draw) const {
  for (const TessBlock& block : records) {
    if (block.poolBytes != 0)
      draw->BindVertexBuffer(0, pool_.GetBuffer(), block.poolOffset);
    else if (block.vertexBuffer != nullptr)
      draw->BindVertexBuffer(0, block.vertexBuffer, 0);
    else
      continue;
    draw->Draw(Draw::Primitive::TRIANGLE_LIST, 0, block.vertexCount);
  }
}

void BlockTessellator::ReleaseBuffers() {
  for (TessBlock& block : records) ReleaseBlockBuffer(block);
  pool_.Release();
  poolTried_ = false;
}
