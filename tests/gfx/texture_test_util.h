#pragma once
// Pieces the texture tests share: a drawing context that records texture creation and uploads
// (for the paths that must create nothing, and to see exactly which bytes an upload hands over),
// read-back of real OpenGL textures, and image files written by a real PNG encoder.
#include <stb_image_write.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gfx/draw_context.h"
#include "gfx/opengl_context.h"
#include "tests/support/temp_directory.h"

namespace textest {

// Records CreateTexture and UpdateTextureLevel and copies every upload, reading exactly the bytes
// an OpenGL upload would read: rows at a 4-byte pitch, the last row unpadded. Under the address
// sanitizer a short buffer handed to an upload is caught here. Everything else is inert.
class RecordingContext : public Draw::DrawContext {
 public:
  class RecordedTexture : public Draw::Texture {
   public:
    explicit RecordedTexture(const Draw::TextureDesc& d) : desc(d) {}
    Draw::TextureDesc desc;
  };
  struct Upload {
    Draw::Texture* texture;
    int level, x, y, z, width, height, depth;
    std::vector<uint8_t> bytes;  // rows packed at the 4-byte pitch, as handed over
  };

  // Bytes per texel of the formats textures are uploaded in.
  static int TexelBytes(Draw::DataFormat format) {
    switch (format) {
      case Draw::R8G8_UNORM: return 2;
      case Draw::R8G8B8A8_UNORM:
      case Draw::R8G8B8A8_UNORM_SRGB:
      case Draw::R32_FLOAT: return 4;
      case Draw::R16G16B16A16_FLOAT: return 8;
      case Draw::R32G32B32A32_FLOAT: return 16;
      default: return 0;
    }
  }

  std::vector<Draw::TextureDesc> created;
  std::vector<Upload> uploads;
  int mipmapCalls = 0;

  Draw::Texture* CreateTexture(const Draw::TextureDesc& desc) override {
    created.push_back(desc);
    return new RecordedTexture(desc);
  }
  void UpdateTextureLevel(Draw::Texture* texture, int32_t level, int32_t x, int32_t y, int32_t z,
                          int32_t width, int32_t height, int32_t depth, int32_t, int32_t,
                          const void* data) override {
    const auto* recorded = static_cast<RecordedTexture*>(texture);
    const size_t rowBytes = size_t(width) * TexelBytes(recorded->desc.format);
    const size_t pitch = (rowBytes + 3) & ~size_t{3};
    const size_t total = (size_t(height) * depth - 1) * pitch + rowBytes;
    Upload upload{texture, level, x, y, z, width, height, depth, std::vector<uint8_t>(total)};
    std::memcpy(upload.bytes.data(), data, total);
    uploads.push_back(std::move(upload));
  }
  void GenerateMipmaps(Draw::Texture*) override { ++mipmapCalls; }

  void BeginFrame() override {}
  bool Present() override { return true; }
  void ResetState() override {}
  int32_t GetShaderLanguages() override { return Draw::GLSL_450; }
  int32_t GetShaderLanguage() override { return Draw::GLSL_450; }
  const Draw::DeviceCaps* GetDeviceCaps() override { return &caps_; }
  int32_t GetBackbufferWidth() override { return 1; }
  int32_t GetBackbufferHeight() override { return 1; }
  void GetTextureDimensions(Draw::Texture*, int32_t*, int32_t*, int32_t*) override {}
  float GetBackbufferAspect() override { return 1.0f; }
  Draw::VertexLayout* CreateVertexLayout(const Draw::VertexLayoutDesc&) override { return nullptr; }
  Draw::BlendState* CreateBlendState(const Draw::BlendStateDesc&) override { return nullptr; }
  Draw::DepthStencilState* CreateDepthStencilState(const Draw::DepthStencilStateDesc&) override {
    return nullptr;
  }
  Draw::RasterState* CreateRasterState(const Draw::RasterStateDesc&) override { return nullptr; }
  Draw::ShaderModule* CreateShaderModule(Draw::ShaderStage, int32_t, const char*, size_t,
                                         const std::vector<Draw::SamplerBinding>&) override {
    return nullptr;
  }
  Draw::Pipeline* CreatePipeline(const Draw::PipelineDesc&) override { return nullptr; }
  Draw::Sampler* CreateSamplerState(const Draw::SamplerStateDesc&) override { return nullptr; }
  Draw::Buffer* CreateBuffer(const void*, size_t, int32_t) override { return nullptr; }
  Draw::Framebuffer* CreateFramebuffer(const Draw::FramebufferDesc&) override { return nullptr; }
  Draw::RenderPass* CreateRenderPass(const Draw::RenderPassDesc&) override { return nullptr; }
  void BlitFramebuffer(Draw::Framebuffer*, Draw::Framebuffer*, int32_t, int32_t) override {}
  void BeginRenderPass(Draw::RenderPass*, const Draw::RenderPassBeginInfo&) override {}
  void EndRenderPass() override {}
  void SetViewports(int32_t, int32_t, const Draw::Viewport*) override {}
  void SetScissorRect(const Draw::ScissorRect&) override {}
  void PushUniforms(int32_t, const void*, size_t) override {}
  void* AllocateImmediateVertices(int32_t, int32_t) override { return nullptr; }
  void DrawImmediate(Draw::Primitive) override {}
  void BindVertexBuffer(int32_t, Draw::Buffer*, size_t) override {}
  void BindIndexBuffer(Draw::Buffer*, bool) override {}
  void BindPipeline(Draw::Pipeline*) override {}
  void BindStorageBuffer(int32_t, Draw::Buffer*) override {}
  void BindSampler(int32_t, Draw::Sampler*) override {}
  void BindTexture(int32_t, Draw::Texture*) override {}
  void Draw(Draw::Primitive, int32_t, int32_t) override {}
  void DrawIndexed(Draw::Primitive, int32_t, size_t) override {}

 private:
  Draw::DeviceCaps caps_;
};

inline const Draw::OpenGLTexture* AsGL(const Draw::Texture* texture) {
  return static_cast<const Draw::OpenGLTexture*>(texture);
}

inline GLint TextureParameter(const Draw::Texture* texture, GLenum parameter) {
  GLint value = 0;
  glGetTextureParameteriv(AsGL(texture)->name, parameter, &value);
  return value;
}

inline GLint LevelParameter(const Draw::Texture* texture, int level, GLenum parameter) {
  GLint value = 0;
  glGetTextureLevelParameteriv(AsGL(texture)->name, level, parameter, &value);
  return value;
}

// Texels of one level (one face or layer with z) as tightly packed T values of `components`
// channels each.
template <typename T>
std::vector<T> ReadTexels(const Draw::Texture* texture, int level, int z, GLenum format,
                          GLenum type, int components) {
  const GLint width = LevelParameter(texture, level, GL_TEXTURE_WIDTH);
  const GLint height = LevelParameter(texture, level, GL_TEXTURE_HEIGHT);
  std::vector<T> texels(size_t(width) * height * components);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTextureSubImage(AsGL(texture)->name, level, 0, 0, z, width, height, 1, format, type,
                       GLsizei(texels.size() * sizeof(T)), texels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return texels;
}

// RGBA8 texels of a level, red in the lowest byte.
inline std::vector<uint32_t> ReadRGBA8(const Draw::Texture* texture, int level = 0, int z = 0) {
  return ReadTexels<uint32_t>(texture, level, z, GL_RGBA, GL_UNSIGNED_BYTE, 1);
}

constexpr uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) {
  return r | (g << 8) | (b << 16) | (a << 24);
}

// Writes a PNG with stb_image_write; texels are RGBA8 (red in the lowest byte), top row first.
inline void WritePng(const std::string& path, int width, int height,
                     const std::vector<uint32_t>& texels) {
  ASSERT_EQ(texels.size(), size_t(width) * height);
  ASSERT_NE(stbi_write_png(path.c_str(), width, height, 4, texels.data(), width * 4), 0) << path;
}

}  // namespace textest
