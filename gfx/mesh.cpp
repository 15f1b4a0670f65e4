#include "gfx/mesh.h"

void Mesh::Create(Draw::DrawContext* context, const std::vector<SimpleVertex>& vertices,
                  const std::vector<uint32_t>& indices) {
  Create(context, vertices.data(), uint32_t(vertices.size()), indices.data(),
         uint32_t(indices.size()));
}

void Mesh::Create(Draw::DrawContext* context, const SimpleVertex* vertexData, uint32_t vertexCount,
                  const uint32_t* indexData, uint32_t indexCount_) {
  Release();
  const size_t vertexBytes = size_t(vertexCount) * sizeof(SimpleVertex);
  const size_t indexBytes = size_t(indexCount_) * sizeof(uint32_t);
  buffer = context->CreateBuffer(nullptr, vertexBytes + indexBytes, 0);
  if (vertexBytes) buffer->WriteData(vertexData, vertexBytes, 0);
  if (indexBytes) buffer->WriteData(indexData, indexBytes, vertexBytes);
  indexCount = indexCount_;
  indexOffset = uint32_t(vertexBytes);
}

void Mesh::Draw(Draw::DrawContext* context) const {
  if (!buffer) return;
  context->BindIndexBuffer(buffer, true);
  context->BindVertexBuffer(0, buffer, 0);
  context->DrawIndexed(Draw::Primitive::TRIANGLE_LIST, int32_t(indexCount), indexOffset);
}

void Mesh::Release() {
  delete buffer;
  buffer = nullptr;
  indexCount = 0;
}
