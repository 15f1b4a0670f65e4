#pragma once
// The OpenGL objects behind the drawing interface's resource classes. Each holds the GL name it
// owns (deleted by its destructor) and the little state the context needs when it is bound.
// They are created only by Draw::OpenGLContext and deleted by their owner while the context is
// alive and current.
#include <glad/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/draw_context.h"

namespace Draw {

class OpenGLBuffer : public Buffer {
 public:
  // STATIC buffers take their whole contents now; others are allocated empty and filled with
  // WriteData.
  OpenGLBuffer(const void* data, size_t size, int32_t usageFlags);
  ~OpenGLBuffer() override;
  void WriteData(const void* data, size_t size, size_t offset) override;

  GLuint name = 0;
  GLenum target = GL_ARRAY_BUFFER;  // GL_SHADER_STORAGE_BUFFER for STORAGE buffers
  int64_t size = 0;
  int32_t usageFlags = 0;
};

class OpenGLTexture : public Texture {
 public:
  ~OpenGLTexture() override;

  int32_t flags = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;  // a single cube map records 1: the six faces are not layers
  GLuint name = 0;
  DataFormat format = UNDEFINED;
  bool uses3DStorage = false;  // allocated as a 3D, array or cube-array texture
  int32_t mipLevels = 1;
  GLenum target = GL_TEXTURE_2D;
};

class OpenGLSampler : public Sampler {
 public:
  ~OpenGLSampler() override;

  GLuint name = 0;
};

class OpenGLShaderModule : public ShaderModule {
 public:
  ~OpenGLShaderModule() override;
  ShaderStage GetStage() const override { return stage; }

  GLuint name = 0;
  std::vector<SamplerBinding> samplers;
  ShaderStage stage = VERTEX;
};

class OpenGLVertexLayout : public VertexLayout {
 public:
  static constexpr int kMaxBindings = 4;
  ~OpenGLVertexLayout() override;

  GLuint vertexArray = 0;
  int32_t strides[kMaxBindings] = {};
  int32_t bindingCount = 0;
};

class OpenGLBlendState : public BlendState {
 public:
  static constexpr int kMaxTargets = 4;
  struct Target {
    bool enabled = false;
    int32_t colorWriteMask = 0;  // kept, not applied
    GLenum srcColor = 0, dstColor = 0, srcAlpha = 0, dstAlpha = 0;
    GLenum colorOp = 0, alphaOp = 0;
  };
  Target targets[kMaxTargets];  // targets beyond the descriptor's list stay zero (disabled)
};

class OpenGLDepthStencilState : public DepthStencilState {
 public:
  bool depthTest = false;
  bool depthWrite = false;
  GLenum depthFunc = GL_LESS;
  bool stencilEnabled = false;
  GLenum stencilFail = GL_KEEP, stencilDepthFail = GL_KEEP, stencilPass = GL_KEEP;
  GLenum stencilFunc = GL_ALWAYS;
  uint8_t reference = 0;
  uint8_t compareMask = 0xFF;
  uint8_t writeMask = 0xFF;
};

class OpenGLRasterState : public RasterState {
 public:
  GLenum cullFace = 0;  // 0: no culling
  GLenum frontFace = GL_CW;
};

// Refers to its states and layout without owning them; they must outlive the pipeline.
class OpenGLPipeline : public Pipeline {
 public:
  ~OpenGLPipeline() override;

  OpenGLDepthStencilState* depthStencil = nullptr;
  OpenGLBlendState* blend = nullptr;
  OpenGLVertexLayout* vertexLayout = nullptr;
  OpenGLRasterState* raster = nullptr;
  GLuint program = 0;
};

// Refers to its attachment textures without owning them.
class OpenGLFramebuffer : public Framebuffer {
 public:
  ~OpenGLFramebuffer() override;

  std::vector<FramebufferAttachment> attachments;
  GLuint name = 0;
};

class OpenGLRenderPass : public RenderPass {
 public:
  std::vector<AttachmentDesc> attachments;
};

}  // namespace Draw
