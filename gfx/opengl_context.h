#pragma once
// Draw::OpenGLContext: the drawing interface on OpenGL 4.5 with direct state access, over an SDL
// window.
//
// The host constructs it with the window (no GL work), calls Init on the thread that will render,
// drives frames with BeginFrame / Present and calls Shutdown before the window goes away. Every
// other operation runs on the Init thread and only after Init succeeded.
//
// Frame memory: two persistently mapped, coherent 16 MiB buffers, one per frame in flight, each
// fenced at Present so that the CPU never overwrites what the GPU may still read.
#include <glad/gl.h>

#include <cstddef>
#include <cstdint>

#include "gfx/draw_context.h"
#include "gfx/opengl_resources.h"

struct SDL_Window;
typedef void* SDL_GLContext;

namespace Draw {

class OpenGLContext : public DrawContext {
 public:
  static constexpr size_t kFrameMemorySize = 0x1000000;  // 16 MiB per frame slot
  static constexpr int kFrameCount = 2;

  explicit OpenGLContext(SDL_Window* window);
  ~OpenGLContext() override;
  OpenGLContext(const OpenGLContext&) = delete;
  OpenGLContext& operator=(const OpenGLContext&) = delete;

  // The framebuffer attributes of an SDL window are fixed when the window is created: hosts call
  // this before SDL_CreateWindow(..., SDL_WINDOW_OPENGL) so that the window gets 24-bit depth,
  // 8-bit stencil and 8-bit RGBA. Init sets them again for the context itself.
  static void SetWindowAttributes();

  // Creates a core 4.5 debug context on the window, makes it current on this thread, loads the
  // entry points and sets up frame memory and the default state. False, with the reason logged,
  // when the context cannot be created or loaded: the host then cannot render. On a refused
  // renderer (see IsRefusedRenderer) it tells the user and ends the process with exit code 1.
  bool Init();
  // Releases frame memory and the context. Safe after a failed Init and when called twice.
  void Shutdown();

  int FrameIndex() const { return frameIndex_; }

  // DrawContext
  void BeginFrame() override;
  // SDL's swap reports no result; a failure shows only as an SDL error set during the swap,
  // which is what is checked.
  bool Present() override;
  void ResetState() override;
  int32_t GetShaderLanguages() override;
  int32_t GetShaderLanguage() override;
  const DeviceCaps* GetDeviceCaps() override;
  int32_t GetBackbufferWidth() override;
  int32_t GetBackbufferHeight() override;
  void GetTextureDimensions(Texture* texture, int32_t* width, int32_t* height,
                            int32_t* depth) override;
  float GetBackbufferAspect() override;
  VertexLayout* CreateVertexLayout(const VertexLayoutDesc& desc) override;
  BlendState* CreateBlendState(const BlendStateDesc& desc) override;
  DepthStencilState* CreateDepthStencilState(const DepthStencilStateDesc& desc) override;
  RasterState* CreateRasterState(const RasterStateDesc& desc) override;
  ShaderModule* CreateShaderModule(ShaderStage stage, int32_t language, const char* source,
                                   size_t length,
                                   const std::vector<SamplerBinding>& samplers) override;
  // A pipeline without a vertex layout draws with an empty vertex array (vertices made in the
  // shader); missing blend, depth-stencil or raster states mean blending, depth and stencil tests
  // and culling off, clockwise front faces.
  Pipeline* CreatePipeline(const PipelineDesc& desc) override;
  Sampler* CreateSamplerState(const SamplerStateDesc& desc) override;
  // Null, with an error logged, for a zero size.
  Buffer* CreateBuffer(const void* data, size_t size, int32_t usageFlags) override;
  // Null, with an error logged, for sizes or level counts the texture cannot have.
  Texture* CreateTexture(const TextureDesc& desc) override;
  // Block-compressed formats take whole 4x4 blocks, rows of blocks back to back. A box outside
  // the level, or null data, is logged and nothing is uploaded.
  void UpdateTextureLevel(Texture* texture, int32_t level, int32_t x, int32_t y, int32_t z,
                          int32_t width, int32_t height, int32_t depth, int32_t rowPitch,
                          int32_t slicePitch, const void* data) override;
  void GenerateMipmaps(Texture* texture) override;
  Framebuffer* CreateFramebuffer(const FramebufferDesc& desc) override;
  RenderPass* CreateRenderPass(const RenderPassDesc& desc) override;
  // A null framebuffer is the window's.
  void BlitFramebuffer(Framebuffer* destination, Framebuffer* source, int32_t width,
                       int32_t height) override;
  void BeginRenderPass(RenderPass* pass, const RenderPassBeginInfo& info) override;
  void EndRenderPass() override;
  void SetViewports(int32_t first, int32_t count, const Viewport* viewports) override;
  void SetScissorRect(const ScissorRect& rect) override;
  void PushUniforms(int32_t slot, const void* data, size_t size) override;
  void* AllocateImmediateVertices(int32_t count, int32_t stride) override;
  void DrawImmediate(Primitive primitive) override;
  void BindVertexBuffer(int32_t binding, Buffer* buffer, size_t offset) override;
  void BindIndexBuffer(Buffer* buffer, bool indices32) override;
  void BindPipeline(Pipeline* pipeline) override;
  void BindStorageBuffer(int32_t slot, Buffer* buffer) override;
  void BindSampler(int32_t unit, Sampler* sampler) override;
  void BindTexture(int32_t unit, Texture* texture) override;
  void Draw(Primitive primitive, int32_t firstVertex, int32_t vertexCount) override;
  void DrawIndexed(Primitive primitive, int32_t indexCount, size_t indexByteOffset) override;

 private:
  struct FrameMemory {
    GLuint buffer = 0;
    int64_t size = 0;
    uint8_t* mapped = nullptr;
    int64_t offset = 0;
    GLsync fence = nullptr;
    bool overflowReported = false;
  };

  // Bump-allocates from the current slot; null (logged once per frame) when it does not fit.
  uint8_t* AllocateFrameMemory(size_t size, size_t alignment, int64_t* offset);
  void ReadWindowSize();

  DeviceCaps caps_;
  SDL_Window* window_ = nullptr;
  SDL_GLContext glContext_ = nullptr;
  bool loaded_ = false;
  int32_t uniformAlignment_ = 256;
  GLuint defaultTexture_ = 0;
  GLuint emptyVertexArray_ = 0;  // bound by pipelines that have no vertex layout
  int32_t vertexStrides_[OpenGLVertexLayout::kMaxBindings] = {};
  int32_t width_ = 0;
  int32_t height_ = 0;
  float aspect_ = 1.0f;
  FrameMemory frames_[kFrameCount];
  int frameIndex_ = 0;
  OpenGLPipeline* currentPipeline_ = nullptr;
  int64_t lastUniformOffset_ = 0;
  int64_t immediateVertexOffset_ = 0;
  int32_t immediateVertexCount_ = 0;
  int32_t immediateStride_ = 0;
  bool immediateVerticesValid_ = false;  // false after an allocation that did not fit
  bool index32_ = false;
};

// Compiles both stages as CreateShaderModule does and links them into a program; 0 on failure.
// A link failure logs the link log and fails a CHECK: the callers' programs are built in.
GLuint CompileProgram(const char* vertexSource, const char* fragmentSource);

// Renderers that cannot drive the headset: Windows' software renderer and the integrated GPU
// that Optimus laptops fall back to. Matches the whole string exactly; on a match, sets the
// message box title and text (either pointer may be null).
bool IsRefusedRenderer(const char* renderer, const char** title, const char** text);

// When the renderer is refused: tells the user (AskUser, OK button) and ends the process with
// exit code 1. Otherwise returns.
void ExitIfRefusedRenderer(const char* renderer);

// The debug-output callback: "source:type: message" at the level its severity maps to.
void GLAPIENTRY DebugOutputCallback(GLenum source, GLenum type, GLuint id, GLenum severity,
                                    GLsizei length, const GLchar* message, const void* userParam);

}  // namespace Draw
