#pragma once
// Small pieces the OpenGL tests share: owning pointers, a pipeline built from inline GLSL and an
// off-screen colour (and depth) target that can be read back.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/opengl_context.h"
#include "tests/gfx/gl_test_context.h"

namespace gltest {

template <typename T>
using Owned = std::unique_ptr<T>;

constexpr uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return r | (g << 8) | (b << 16) | (a << 24);
}

// A pipeline and the state objects it refers to, deleted together (members go in reverse order,
// so the pipeline first).
struct TestPipeline {
  Owned<Draw::VertexLayout> layout;
  Owned<Draw::DepthStencilState> depthStencil;
  Owned<Draw::BlendState> blend;
  Owned<Draw::RasterState> raster;
  Owned<Draw::Pipeline> pipeline;

  Draw::Pipeline* get() const { return pipeline.get(); }
};

inline Draw::ShaderModule* Compile(Draw::DrawContext* context, Draw::ShaderStage stage,
                                   const std::string& source,
                                   const std::vector<Draw::SamplerBinding>& samplers = {}) {
  return context->CreateShaderModule(stage, Draw::GLSL_450, source.c_str(), source.size(),
                                     samplers);
}

// Builds the pipeline from vertex and fragment source with the given layout and states; the
// states default to no depth test, no blending, no culling.
inline TestPipeline MakePipeline(Draw::DrawContext* context, const std::string& vertexSource,
                                 const std::string& fragmentSource,
                                 const Draw::VertexLayoutDesc& layoutDesc,
                                 const Draw::DepthStencilStateDesc& depthDesc = {},
                                 const Draw::BlendStateDesc& blendDesc = {},
                                 const std::vector<Draw::SamplerBinding>& samplers = {}) {
  TestPipeline result;
  result.layout.reset(context->CreateVertexLayout(layoutDesc));
  result.depthStencil.reset(context->CreateDepthStencilState(depthDesc));
  result.blend.reset(context->CreateBlendState(blendDesc));
  result.raster.reset(context->CreateRasterState({}));
  Owned<Draw::ShaderModule> vertex(Compile(context, Draw::VERTEX, vertexSource, samplers));
  Owned<Draw::ShaderModule> fragment(Compile(context, Draw::FRAGMENT, fragmentSource, samplers));
  if (vertex == nullptr || fragment == nullptr) {
    return result;
  }
  Draw::PipelineDesc desc;
  desc.shaders = {vertex.get(), fragment.get()};
  desc.vertexLayout = result.layout.get();
  desc.depthStencil = result.depthStencil.get();
  desc.blend = result.blend.get();
  desc.raster = result.raster.get();
  result.pipeline.reset(context->CreatePipeline(desc));
  return result;
}

// Vertices of two floats of position (clip space, y down) and four bytes of colour.
struct ColorVertex {
  float x, y;
  uint32_t rgba;
};

inline Draw::VertexLayoutDesc ColorVertexLayout() {
  Draw::VertexLayoutDesc desc;
  desc.bindings = {{sizeof(ColorVertex), 0}};
  desc.attributes = {{0, 0, Draw::R32G32_FLOAT, 0},
                     {0, 1, Draw::R8G8B8A8_UNORM, int32_t(offsetof(ColorVertex, rgba))}};
  return desc;
}

inline const char* kColorVertexShader = R"(#version 450
layout(location = 0) in vec2 position;
layout(location = 1) in vec4 color;
layout(location = 0) out vec4 vColor;
void main() {
  vColor = color;
  gl_Position = vec4(position, 0.0, 1.0);
})";

inline const char* kColorFragmentShader = R"(#version 450
layout(location = 0) in vec4 vColor;
layout(location = 0) out vec4 fragColor;
void main() { fragColor = vColor; })";

// An RGBA8 colour texture (and optionally a depth texture) behind a render pass that clears
// what it holds.
struct OffscreenTarget {
  Owned<Draw::Texture> color;
  Owned<Draw::Texture> depth;
  Owned<Draw::RenderPass> pass;
  Owned<Draw::Framebuffer> framebuffer;

  OffscreenTarget(Draw::DrawContext* context, int width, int height,
                  Draw::DataFormat depthFormat = Draw::UNDEFINED) {
    Draw::TextureDesc colorDesc;
    colorDesc.format = Draw::R8G8B8A8_UNORM;
    colorDesc.width = width;
    colorDesc.height = height;
    color.reset(context->CreateTexture(colorDesc));
    Draw::RenderPassDesc passDesc;
    passDesc.attachments.push_back({Draw::R8G8B8A8_UNORM, Draw::CLEAR, 1, 0, 0});
    Draw::FramebufferDesc framebufferDesc;
    framebufferDesc.attachments.push_back({color.get(), 0, 0});
    if (depthFormat != Draw::UNDEFINED) {
      Draw::TextureDesc depthDesc = colorDesc;
      depthDesc.format = depthFormat;
      depth.reset(context->CreateTexture(depthDesc));
      passDesc.attachments.push_back({depthFormat, Draw::CLEAR, 1, 0, 0});
      framebufferDesc.attachments.push_back({depth.get(), 0, 0});
    }
    pass.reset(context->CreateRenderPass(passDesc));
    framebufferDesc.width = width;
    framebufferDesc.height = height;
    framebufferDesc.renderPass = pass.get();
    framebuffer.reset(context->CreateFramebuffer(framebufferDesc));
  }
  ~OffscreenTarget() {
    framebuffer.reset();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }

  // Binds the target for drawing and clears it; reads come from it as well.
  void Begin(Draw::DrawContext* context, const float clearColor[4], float clearDepth = 1.0f) {
    Draw::RenderPassBeginInfo info;
    info.framebuffer = framebuffer.get();
    for (int i = 0; i < 4; ++i) info.clearColor[i] = clearColor[i];
    info.clearDepth = clearDepth;
    context->BeginRenderPass(pass.get(), info);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<Draw::OpenGLFramebuffer*>(framebuffer.get())->name);
  }
};

// Full viewport over a width x height target.
inline void SetFullViewport(Draw::DrawContext* context, int width, int height) {
  Draw::Viewport viewport;
  viewport.width = float(width);
  viewport.height = float(height);
  context->SetViewports(0, 1, &viewport);
}

}  // namespace gltest
