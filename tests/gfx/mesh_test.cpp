#include <gtest/gtest.h>

#include "gfx/mesh.h"
#include "sculpt/primitive_mesh.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/gfx/opengl_test_util.h"

namespace {

using gltest::Rgba;

Draw::VertexLayoutDesc SimpleVertexLayout() {
  Draw::VertexLayoutDesc desc;
  desc.bindings = {{sizeof(SimpleVertex), 0}};
  desc.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                     {0, 3, Draw::R8G8B8A8_UNORM, int32_t(offsetof(SimpleVertex, color))}};
  return desc;
}

// Looks down -z at the mesh, scaled to half the view.
const char* kVertexShader = R"(#version 450
layout(location = 0) in vec3 position;
layout(location = 3) in vec4 color;
layout(location = 0) out vec4 vColor;
void main() {
  vColor = color;
  gl_Position = vec4(position.xy * 0.5, 0.0, 1.0);
})";

TEST(Mesh, VerticesThenIndicesInOneBufferDrawnIndexed) {
  GLTestContext gl(32, 32);
  REQUIRE_GL(gl);
  Draw::DrawContext* context = gl.Context();
  std::vector<SimpleVertex> vertices;
  std::vector<uint32_t> indices;
  GenerateCube(vertices, indices, 1);

  Mesh mesh;
  mesh.Create(context, vertices, indices);
  ASSERT_NE(mesh.buffer, nullptr);
  EXPECT_EQ(static_cast<Draw::OpenGLBuffer*>(mesh.buffer)->size, 24 * 36 + 36 * 4);
  EXPECT_EQ(mesh.indexOffset, 864u);
  EXPECT_EQ(mesh.indexCount, 36u);

  gltest::TestPipeline pipeline = gltest::MakePipeline(context, kVertexShader,
                                                       gltest::kColorFragmentShader,
                                                       SimpleVertexLayout());
  ASSERT_NE(pipeline.get(), nullptr);
  gltest::OffscreenTarget target(context, 32, 32);
  const float black[4] = {0, 0, 0, 1};
  context->BeginFrame();
  target.Begin(context, black);
  gltest::SetFullViewport(context, 32, 32);
  context->BindPipeline(pipeline.get());
  mesh.Draw(context);
  EXPECT_EQ(gl.Pixel(16, 16), Rgba(255, 255, 255));  // the white cube covers the middle
  EXPECT_EQ(gl.Pixel(1, 1), Rgba(0, 0, 0));          // and only the middle half
  context->Present();

  mesh.Release();
  EXPECT_EQ(mesh.indexCount, 0u);
  EXPECT_EQ(mesh.buffer, nullptr);
}

}  // namespace
