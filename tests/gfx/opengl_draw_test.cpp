// Drawing through pipelines with the real driver: vertex layouts and buffers, index widths,
// blend and depth state, render passes and framebuffers.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/gfx/opengl_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using gltest::Owned;
using gltest::Rgba;

constexpr float kOpaqueBlack[4] = {0, 0, 0, 1};

class OpenGLPipelineDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    context_ = gl_.Context();
  }

  GLTestContext gl_{32, 32};
  Draw::OpenGLContext* context_ = nullptr;
};

TEST_F(OpenGLPipelineDrawTest, IndexedMeshFromTwoBindingsInOneStaticBuffer) {
  // Positions (binding 0, 8-byte stride) then colours (binding 1, 4-byte stride) then 32-bit
  // indices, all in one buffer: a red quad in the upper-left quarter and a blue one in the
  // lower-right quarter.
  const float positions[8][2] = {{-1, -1}, {0, -1}, {-1, 0}, {0, 0},
                                 {0, 0},   {1, 0},  {0, 1},   {1, 1}};
  const uint32_t colors[8] = {Rgba(255, 0, 0), Rgba(255, 0, 0), Rgba(255, 0, 0),
                              Rgba(255, 0, 0), Rgba(0, 0, 255), Rgba(0, 0, 255),
                              Rgba(0, 0, 255), Rgba(0, 0, 255)};
  const uint32_t indices[12] = {0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7};
  std::vector<uint8_t> data(sizeof(positions) + sizeof(colors) + sizeof(indices));
  std::memcpy(data.data(), positions, sizeof(positions));
  std::memcpy(data.data() + sizeof(positions), colors, sizeof(colors));
  std::memcpy(data.data() + sizeof(positions) + sizeof(colors), indices, sizeof(indices));
  Owned<Draw::Buffer> buffer(context_->CreateBuffer(data.data(), data.size(), Draw::STATIC));
  ASSERT_NE(buffer, nullptr);

  Draw::VertexLayoutDesc layout;
  layout.bindings = {{8, 0}, {4, 0}};
  layout.attributes = {{0, 0, Draw::R32G32_FLOAT, 0}, {1, 1, Draw::R8G8B8A8_UNORM, 0}};
  gltest::TestPipeline pipeline = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, gltest::kColorFragmentShader, layout);
  ASSERT_NE(pipeline.get(), nullptr);

  gltest::OffscreenTarget target(context_, 32, 32);
  target.Begin(context_, kOpaqueBlack);
  gltest::SetFullViewport(context_, 32, 32);
  context_->BindPipeline(pipeline.get());
  context_->BindIndexBuffer(buffer.get(), true);
  context_->BindVertexBuffer(0, buffer.get(), 0);
  context_->BindVertexBuffer(1, buffer.get(), sizeof(positions));
  context_->DrawIndexed(Draw::Primitive::TRIANGLE_LIST, 12, sizeof(positions) + sizeof(colors));

  EXPECT_EQ(gl_.Pixel(4, 4), Rgba(255, 0, 0));
  EXPECT_EQ(gl_.Pixel(12, 12), Rgba(255, 0, 0));
  EXPECT_EQ(gl_.Pixel(20, 20), Rgba(0, 0, 255));
  EXPECT_EQ(gl_.Pixel(28, 28), Rgba(0, 0, 255));
  EXPECT_EQ(gl_.Pixel(28, 4), Rgba(0, 0, 0));
  EXPECT_EQ(gl_.Pixel(4, 28), Rgba(0, 0, 0));
}

TEST_F(OpenGLPipelineDrawTest, DrawIndexedReadsTheIndexWidthOfTheLatestBinding) {
  // Corners: 0 upper-left, 1 upper-right, 2 lower-left, 3 lower-right. The same bytes read as
  // 32-bit indices give the triangle (1, 2, 3) and as 16-bit indices (1, 0, 2): the lower-right
  // and the upper-left half of the target.
  const gltest::ColorVertex corners[4] = {{-1, -1, Rgba(0, 255, 0)},
                                          {1, -1, Rgba(0, 255, 0)},
                                          {-1, 1, Rgba(0, 255, 0)},
                                          {1, 1, Rgba(0, 255, 0)}};
  const uint32_t indices[3] = {1, 2, 3};
  Owned<Draw::Buffer> vertices(context_->CreateBuffer(corners, sizeof(corners), Draw::STATIC));
  Owned<Draw::Buffer> indexBuffer(context_->CreateBuffer(nullptr, sizeof(indices), 0));
  indexBuffer->WriteData(indices, sizeof(indices), 0);
  gltest::TestPipeline pipeline =
      gltest::MakePipeline(context_, gltest::kColorVertexShader, gltest::kColorFragmentShader,
                           gltest::ColorVertexLayout());
  ASSERT_NE(pipeline.get(), nullptr);
  gltest::OffscreenTarget target(context_, 32, 32);

  struct Case {
    bool indices32;
    uint32_t upperLeft;
    uint32_t lowerRight;
  };
  const Case cases[] = {{true, Rgba(0, 0, 0), Rgba(0, 255, 0)},
                        {false, Rgba(0, 255, 0), Rgba(0, 0, 0)},
                        {true, Rgba(0, 0, 0), Rgba(0, 255, 0)}};
  for (const Case& c : cases) {
    target.Begin(context_, kOpaqueBlack);
    gltest::SetFullViewport(context_, 32, 32);
    context_->BindPipeline(pipeline.get());
    context_->BindIndexBuffer(indexBuffer.get(), c.indices32);
    context_->BindVertexBuffer(0, vertices.get(), 0);
    context_->DrawIndexed(Draw::Primitive::TRIANGLE_LIST, 3, 0);
    EXPECT_EQ(gl_.Pixel(3, 3), c.upperLeft) << (c.indices32 ? "32-bit" : "16-bit");
    EXPECT_EQ(gl_.Pixel(28, 28), c.lowerRight) << (c.indices32 ? "32-bit" : "16-bit");
  }
}

TEST_F(OpenGLPipelineDrawTest, EmptyBlendListLeavesBlendingOff) {
  Draw::BlendStateDesc alphaBlend;
  Draw::BlendTarget blendTarget;
  blendTarget.enabled = true;
  blendTarget.srcColor = Draw::BlendFactor::SRC_ALPHA;
  blendTarget.dstColor = Draw::BlendFactor::ONE_MINUS_SRC_ALPHA;
  blendTarget.srcAlpha = Draw::BlendFactor::ONE;
  blendTarget.dstAlpha = Draw::BlendFactor::ZERO;
  alphaBlend.renderTargets = {blendTarget};
  gltest::TestPipeline blended = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, gltest::kColorFragmentShader,
      gltest::ColorVertexLayout(), {}, alphaBlend);
  gltest::TestPipeline unblended = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, gltest::kColorFragmentShader,
      gltest::ColorVertexLayout(), {}, Draw::BlendStateDesc{});
  ASSERT_NE(blended.get(), nullptr);
  ASSERT_NE(unblended.get(), nullptr);
  gltest::OffscreenTarget target(context_, 32, 32);
  constexpr float kBlue[4] = {0, 0, 1, 1};

  // Half-transparent red over blue: mixed with blending, plain red without.
  struct Case {
    const char* name;
    Draw::Pipeline* pipeline;
    bool blendEnabled;
    uint32_t expected;
  };
  const Case cases[] = {{"blended", blended.get(), true, Rgba(128, 0, 127, 128)},
                        {"empty list", unblended.get(), false, Rgba(255, 0, 0, 128)}};
  context_->BeginFrame();
  for (const Case& c : cases) {
    target.Begin(context_, kBlue);
    gltest::SetFullViewport(context_, 32, 32);
    context_->BindPipeline(c.pipeline);
    EXPECT_EQ(glIsEnabled(GL_BLEND), c.blendEnabled ? GL_TRUE : GL_FALSE) << c.name;
    auto* quad = static_cast<gltest::ColorVertex*>(
        context_->AllocateImmediateVertices(4, sizeof(gltest::ColorVertex)));
    ASSERT_NE(quad, nullptr);
    const uint32_t halfRed = Rgba(255, 0, 0, 128);
    quad[0] = {-1, -1, halfRed};
    quad[1] = {1, -1, halfRed};
    quad[2] = {-1, 1, halfRed};
    quad[3] = {1, 1, halfRed};
    context_->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
    const uint32_t pixel = gl_.Pixel(16, 16);
    // One step of rounding either way on the mixed channels.
    for (int shift = 0; shift < 32; shift += 8) {
      EXPECT_NEAR(int((pixel >> shift) & 0xFF), int((c.expected >> shift) & 0xFF), 1)
          << c.name << " channel " << shift / 8;
    }
  }
}

TEST_F(OpenGLPipelineDrawTest, PipelineWithOnlyShadersDrawsWithNeutralState) {
  // No vertex layout: the shader makes a triangle that covers the target from gl_VertexID. No
  // states: no depth test, no blending, no culling.
  Owned<Draw::ShaderModule> vertex(gltest::Compile(context_, Draw::VERTEX, R"(#version 450
void main() {
  vec2 corner = vec2((gl_VertexID & 1) * 4.0 - 1.0, (gl_VertexID & 2) * 2.0 - 1.0);
  gl_Position = vec4(corner, 0.5, 1.0);
})"));
  Owned<Draw::ShaderModule> fragment(gltest::Compile(context_, Draw::FRAGMENT, R"(#version 450
layout(location = 0) out vec4 fragColor;
void main() { fragColor = vec4(1.0, 0.5, 0.0, 0.5); })"));
  Draw::PipelineDesc desc;
  desc.shaders = {vertex.get(), fragment.get()};
  Owned<Draw::Pipeline> pipeline(context_->CreatePipeline(desc));
  ASSERT_NE(pipeline, nullptr);

  // Whatever the previous pipeline turned on is turned off again.
  Draw::DepthStencilStateDesc depthTest;
  depthTest.depthTestEnabled = true;
  Draw::BlendStateDesc additive;
  Draw::BlendTarget add;
  add.enabled = true;
  add.dstColor = Draw::BlendFactor::ONE;
  additive.renderTargets = {add};
  gltest::TestPipeline previous = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, gltest::kColorFragmentShader,
      gltest::ColorVertexLayout(), depthTest, additive);
  ASSERT_NE(previous.get(), nullptr);
  context_->BindPipeline(previous.get());

  gltest::OffscreenTarget target(context_, 32, 32, Draw::D16);
  constexpr float kGrey[4] = {0.25f, 0.25f, 0.25f, 1};
  target.Begin(context_, kGrey, 0.0f);  // depth 0: any depth test would fail
  gltest::SetFullViewport(context_, 32, 32);
  context_->BindPipeline(pipeline.get());
  context_->Draw(Draw::Primitive::TRIANGLE_LIST, 0, 3);
  EXPECT_EQ(gl_.Pixel(16, 16), Rgba(255, 128, 0, 128));
  EXPECT_EQ(gl_.Pixel(1, 30), Rgba(255, 128, 0, 128));
}

// Positions with depth, so that the depth test has something to decide.
struct DepthVertex {
  float x, y, z;
  uint32_t rgba;
};

constexpr const char* kDepthVertexShader = R"(#version 450
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 color;
layout(location = 0) out vec4 vColor;
void main() {
  vColor = color;
  gl_Position = vec4(position, 1.0);
})";

TEST_F(OpenGLPipelineDrawTest, DepthOnlyFramebufferIsClearedByItsPassWithTheDepthMaskOn) {
  Draw::TextureDesc depthDesc;
  depthDesc.format = Draw::D16;
  depthDesc.width = 16;
  depthDesc.height = 16;
  Owned<Draw::Texture> depth(context_->CreateTexture(depthDesc));
  Draw::RenderPassDesc passDesc;
  passDesc.attachments.push_back({Draw::D16, Draw::CLEAR, 1, 0, 0});
  Owned<Draw::RenderPass> pass(context_->CreateRenderPass(passDesc));
  Draw::FramebufferDesc framebufferDesc;
  framebufferDesc.attachments.push_back({depth.get(), 0, 0});
  framebufferDesc.width = 16;
  framebufferDesc.height = 16;
  framebufferDesc.renderPass = pass.get();
  LogCapture log;
  Owned<Draw::Framebuffer> framebuffer(context_->CreateFramebuffer(framebufferDesc));
  ASSERT_NE(framebuffer, nullptr);
  EXPECT_FALSE(log.Contains("Framebuffer")) << "a depth-only framebuffer is complete";
  const GLuint name = static_cast<Draw::OpenGLFramebuffer*>(framebuffer.get())->name;
  GLint type = 0, attachedName = 0, colorType = -1;
  glGetNamedFramebufferAttachmentParameteriv(name, GL_DEPTH_ATTACHMENT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
  glGetNamedFramebufferAttachmentParameteriv(name, GL_DEPTH_ATTACHMENT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attachedName);
  glGetNamedFramebufferAttachmentParameteriv(name, GL_COLOR_ATTACHMENT0,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &colorType);
  EXPECT_EQ(type, GL_TEXTURE);
  EXPECT_EQ(GLuint(attachedName), static_cast<Draw::OpenGLTexture*>(depth.get())->name);
  EXPECT_EQ(colorType, GL_NONE);

  // A pipeline that tests depth without writing it leaves the mask off; the pass still clears.
  Draw::DepthStencilStateDesc readOnlyDepth;
  readOnlyDepth.depthTestEnabled = true;
  readOnlyDepth.depthWriteEnabled = false;
  gltest::TestPipeline pipeline = gltest::MakePipeline(
      context_, gltest::kColorVertexShader, gltest::kColorFragmentShader,
      gltest::ColorVertexLayout(), readOnlyDepth);
  ASSERT_NE(pipeline.get(), nullptr);
  context_->BindPipeline(pipeline.get());
  GLboolean mask = GL_TRUE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  ASSERT_EQ(mask, GL_FALSE);

  Draw::RenderPassBeginInfo info;
  info.framebuffer = framebuffer.get();
  info.clearDepth = 0.25f;
  context_->BeginRenderPass(pass.get(), info);
  context_->EndRenderPass();
  glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  EXPECT_EQ(mask, GL_TRUE);
  GLint drawFramebuffer = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
  EXPECT_EQ(GLuint(drawFramebuffer), name);

  std::vector<float> depths(16 * 16, -1.0f);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, name);
  glReadPixels(0, 0, 16, 16, GL_DEPTH_COMPONENT, GL_FLOAT, depths.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  for (float value : depths) {
    ASSERT_NEAR(value, 0.25f, 1.0f / 65535.0f);
  }
}

TEST_F(OpenGLPipelineDrawTest, PassesClearOnlyWhatTheyAreToldAndDepthTestsAgainstIt) {
  gltest::OffscreenTarget target(context_, 32, 32, Draw::D16);
  // The same framebuffer under a second pass that keeps colour and clears only depth.
  Draw::RenderPassDesc depthOnlyClearDesc;
  depthOnlyClearDesc.attachments = {{Draw::R8G8B8A8_UNORM, Draw::LOAD_KEEP, 1, 0, 0},
                                    {Draw::D16, Draw::CLEAR, 1, 0, 0}};
  Owned<Draw::RenderPass> depthOnlyClear(context_->CreateRenderPass(depthOnlyClearDesc));

  Draw::VertexLayoutDesc layout;
  layout.bindings = {{sizeof(DepthVertex), 0}};
  layout.attributes = {{0, 0, Draw::R32G32B32_FLOAT, 0},
                       {0, 1, Draw::R8G8B8A8_UNORM, int32_t(offsetof(DepthVertex, rgba))}};
  Draw::DepthStencilStateDesc depthTest;
  depthTest.depthTestEnabled = true;
  depthTest.depthWriteEnabled = true;
  depthTest.depthCompare = Draw::Comparison::LESS;
  gltest::TestPipeline pipeline = gltest::MakePipeline(
      context_, kDepthVertexShader, gltest::kColorFragmentShader, layout, depthTest);
  ASSERT_NE(pipeline.get(), nullptr);

  constexpr float kBlue[4] = {0, 0, 1, 1};
  target.Begin(context_, kBlue, 1.0f);
  Draw::RenderPassBeginInfo info;
  info.framebuffer = target.framebuffer.get();
  info.clearColor[0] = 1.0f;  // would turn the target red if colour were cleared
  info.clearDepth = 0.5f;
  context_->BeginRenderPass(depthOnlyClear.get(), info);
  EXPECT_EQ(gl_.Pixel(16, 16), Rgba(0, 0, 255)) << "colour kept";

  // Window depth is (z + 1) / 2: the left half at 0.25 passes against 0.5, the right at 0.75
  // does not. Both halves come from one buffer, drawn from different first vertices.
  const uint32_t white = Rgba(255, 255, 255);
  const DepthVertex quads[8] = {{-1, -1, -0.5f, white}, {0, -1, -0.5f, white},
                                {-1, 1, -0.5f, white},  {0, 1, -0.5f, white},
                                {0, -1, 0.5f, white},   {1, -1, 0.5f, white},
                                {0, 1, 0.5f, white},    {1, 1, 0.5f, white}};
  Owned<Draw::Buffer> buffer(context_->CreateBuffer(quads, sizeof(quads), Draw::STATIC));
  gltest::SetFullViewport(context_, 32, 32);
  context_->BindPipeline(pipeline.get());
  context_->BindVertexBuffer(0, buffer.get(), 0);
  context_->Draw(Draw::Primitive::TRIANGLE_STRIP, 0, 4);
  context_->Draw(Draw::Primitive::TRIANGLE_STRIP, 4, 4);
  EXPECT_EQ(gl_.Pixel(8, 16), white);
  EXPECT_EQ(gl_.Pixel(24, 16), Rgba(0, 0, 255));
}

TEST_F(OpenGLPipelineDrawTest, FramebufferDescriptionsThatCannotWorkAreProgrammingErrors) {
  Draw::TextureDesc colorDesc;
  colorDesc.format = Draw::R8G8B8A8_UNORM;
  colorDesc.width = 8;
  colorDesc.height = 8;
  Owned<Draw::Texture> color(context_->CreateTexture(colorDesc));
  Draw::TextureDesc stencilDesc = colorDesc;
  stencilDesc.format = Draw::S8;
  Owned<Draw::Texture> stencil(context_->CreateTexture(stencilDesc));
  Draw::RenderPassDesc onePassDesc;
  onePassDesc.attachments = {{Draw::R8G8B8A8_UNORM, Draw::CLEAR, 1, 0, 0}};
  Owned<Draw::RenderPass> onePass(context_->CreateRenderPass(onePassDesc));

  struct Case {
    const char* name;
    std::vector<Draw::FramebufferAttachment> attachments;
    Draw::RenderPass* pass;
  };
  const Case cases[] = {
      {"no render pass", {{color.get(), 0, 0}}, nullptr},
      {"more attachments than the pass", {{color.get(), 0, 0}, {color.get(), 0, 0}},
       onePass.get()},
      {"stencil-only attachment", {{stencil.get(), 0, 0}}, onePass.get()},
  };
  for (const Case& c : cases) {
    CheckCapture checks;
    LogCapture log;
    Draw::FramebufferDesc desc;
    desc.attachments = c.attachments;
    desc.width = 8;
    desc.height = 8;
    desc.renderPass = c.pass;
    Owned<Draw::Framebuffer> framebuffer(context_->CreateFramebuffer(desc));
    ASSERT_GE(checks.Count(), 1) << c.name;
    EXPECT_NE(checks.Messages()[0].find("Draw::OpenGLContext::CreateFramebuffer"),
              std::string::npos)
        << c.name;
  }
}

TEST_F(OpenGLPipelineDrawTest, IncompleteFramebufferIsReportedAndStillReturned) {
  // A colour attachment at a mip level the texture does not have is refused by the driver,
  // which leaves the framebuffer without any attachment.
  Draw::TextureDesc colorDesc;
  colorDesc.format = Draw::R8G8B8A8_UNORM;
  colorDesc.width = 8;
  colorDesc.height = 8;
  Owned<Draw::Texture> color(context_->CreateTexture(colorDesc));
  Draw::RenderPassDesc passDesc;
  passDesc.attachments = {{Draw::R8G8B8A8_UNORM, Draw::CLEAR, 1, 0, 0}};
  Owned<Draw::RenderPass> pass(context_->CreateRenderPass(passDesc));
  Draw::FramebufferDesc desc;
  desc.attachments = {{color.get(), 0, 5}};
  desc.renderPass = pass.get();
  LogCapture log;
  Owned<Draw::Framebuffer> framebuffer(context_->CreateFramebuffer(desc));
  EXPECT_NE(framebuffer, nullptr);
  EXPECT_TRUE(log.Contains("Framebuffer incomplete/other: " +
                           std::to_string(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT)));
}

}  // namespace
