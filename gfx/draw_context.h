#pragma once
// The drawing interface: immutable state objects made once from plain descriptors and combined into
// pipelines; textures, buffers, framebuffers and render passes as separate objects; per-frame
// uniforms and small vertex batches pushed into transient frame memory. Objects are owned by the
// caller that created them and deleted through their virtual destructors; there is no reference
// counting. Screen-space origin is the upper-left corner, clip-space depth runs from -1 to 1.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Draw {

enum DataFormat : uint8_t {
  UNDEFINED = 0,
  R8_UNORM = 1,
  R8G8_UNORM = 2,
  R8G8B8_UNORM = 3,
  R8G8B8A8_UNORM = 4,
  R8G8B8A8_UNORM_SRGB = 5,
  R8G8B8A8_SNORM = 6,
  R8G8B8A8_UINT = 7,
  R8G8B8A8_SINT = 8,
  R16_FLOAT = 9,
  R16G16_FLOAT = 10,
  R16G16B16_FLOAT = 11,
  R16G16B16A16_FLOAT = 12,
  R32_FLOAT = 13,
  R32G32_FLOAT = 14,
  R32G32B32_FLOAT = 15,
  R32G32B32A32_FLOAT = 16,
  BC1_RGB_UNORM = 17,
  BC2_UNORM = 19,
  BC3_UNORM = 21,
  BC4_UNORM = 23,
  BC4_SNORM = 24,
  BC5_UNORM = 25,
  BC5_SNORM = 26,
  BC6H_UFLOAT = 27,
  BC6H_SFLOAT = 28,
  BC7_UNORM = 29,
  BC7_UNORM_SRGB = 30,
  S8 = 33,
  D16 = 34,
  D24_S8 = 35,
  D32F = 36,
  D32F_S8 = 37,
};

enum ShaderStage : int32_t {
  VERTEX = 0,
  FRAGMENT = 1,
  GEOMETRY = 2,
  CONTROL = 3,
  EVALUATION = 4,
  COMPUTE = 5,
};

// Shader source variants a shader file can carry; OpenGL consumes GLSL source.
enum ShaderLanguage : int32_t {
  SHADER_LANGUAGE_1 = 1,
  SHADER_LANGUAGE_8 = 8,
  SHADER_LANGUAGE_16 = 16,
  SHADER_LANGUAGE_128 = 128,
  SHADER_LANGUAGE_2048 = 2048,
  GLSL_450 = 4096,
};

enum class Comparison : uint8_t {
  NEVER = 0,
  LESS = 1,
  EQUAL = 2,
  LESS_EQUAL = 3,
  GREATER = 4,
  NOT_EQUAL = 5,
  GREATER_EQUAL = 6,
  ALWAYS = 7,
};

enum class StencilOp : int32_t {
  KEEP = 0,
  ZERO = 1,
  REPLACE = 2,
  INCREMENT_AND_CLAMP = 3,
  DECREMENT_AND_CLAMP = 4,
  INVERT = 5,
  INCREMENT_AND_WRAP = 6,
  DECREMENT_AND_WRAP = 7,
};

enum class BlendFactor : uint8_t {
  ZERO = 0,
  ONE = 1,
  SRC_COLOR = 2,
  ONE_MINUS_SRC_COLOR = 3,
  DST_COLOR = 4,
  ONE_MINUS_DST_COLOR = 5,
  SRC_ALPHA = 6,
  ONE_MINUS_SRC_ALPHA = 7,
  DST_ALPHA = 8,
  ONE_MINUS_DST_ALPHA = 9,
  CONSTANT_COLOR = 10,
  ONE_MINUS_CONSTANT_COLOR = 11,
  CONSTANT_ALPHA = 12,
  ONE_MINUS_CONSTANT_ALPHA = 13,
  SRC1_COLOR = 14,
  ONE_MINUS_SRC1_COLOR = 15,
  SRC1_ALPHA = 16,
  ONE_MINUS_SRC1_ALPHA = 17,
};

enum class BlendOp : uint8_t { ADD = 0, SUBTRACT = 1, REV_SUBTRACT = 2, MIN = 3, MAX = 4 };

enum class CullMode : int32_t { NONE = 0, FRONT = 1, BACK = 2 };
enum class Facing : int32_t { CCW = 0, CW = 1 };  // winding of front faces

enum class TextureFilter : int32_t { NEAREST = 0, LINEAR = 1 };
enum class TextureAddressMode : int32_t {
  REPEAT = 0,
  REPEAT_MIRROR = 1,
  CLAMP_TO_EDGE = 2,
  CLAMP_TO_BORDER = 3,
};
enum class BorderColor : int32_t {
  DONT_CARE = 0,
  TRANSPARENT_BLACK = 1,
  OPAQUE_BLACK = 2,
  OPAQUE_WHITE = 3,
};

// 5 is unused and draws points; 7..10 are the adjacency topologies.
enum class Primitive : int32_t {
  POINT_LIST = 0,
  LINE_LIST = 1,
  LINE_STRIP = 2,
  TRIANGLE_LIST = 3,
  TRIANGLE_STRIP = 4,
  PATCH_LIST = 6,
  LINE_LIST_ADJACENCY = 7,
  LINE_STRIP_ADJACENCY = 8,
  TRIANGLE_LIST_ADJACENCY = 9,
  TRIANGLE_STRIP_ADJACENCY = 10,
};

// Buffer usage bits.
enum BufferUsageFlag : int32_t {
  STATIC = 1,   // whole contents given at creation, never written afterwards
  STORAGE = 8,  // bound as a shader storage buffer
};

// Texture bits.
enum TextureFlag : int32_t {
  ARRAY = 0x80,       // depth is a layer count
  CUBE = 0x100,       // cube map: depth 6 (times the cube count with ARRAY)
  ALPHA_MASK = 0x200,  // read as colour (1, 1, 1) with alpha from the first channel
};

// Render-pass load action: CLEAR clears the attachment when the pass begins; 0 and 1 keep it.
enum LoadAction : int32_t { LOAD_KEEP = 0, LOAD_DONT_CARE = 1, CLEAR = 2 };

// Component count, whether integer components are normalised, bytes per texel or attribute.
int DataFormatCount(DataFormat format);
bool DataFormatNormalized(DataFormat format);
int DataFormatSizeInBytes(DataFormat format);  // 0 for block-compressed and depth formats
bool IsColorAttachable(DataFormat format);
bool IsDepthAttachable(DataFormat format);
bool HasStencil(DataFormat format);

// ---------------------------------------------------------------- resource objects

class Buffer {
 public:
  virtual ~Buffer() = default;
  // Copies size bytes to offset. Not allowed on STATIC buffers.
  virtual void WriteData(const void* data, size_t size, size_t offset) = 0;
};

class ShaderModule {
 public:
  virtual ~ShaderModule() = default;
  virtual ShaderStage GetStage() const = 0;
};

class Texture {
 public:
  virtual ~Texture() = default;
};

class Sampler {
 public:
  virtual ~Sampler() = default;
};

class BlendState {
 public:
  virtual ~BlendState() = default;
};

class DepthStencilState {
 public:
  virtual ~DepthStencilState() = default;
};

class RasterState {
 public:
  virtual ~RasterState() = default;
};

class VertexLayout {
 public:
  virtual ~VertexLayout() = default;
};

class Pipeline {
 public:
  virtual ~Pipeline() = default;
};

class Framebuffer {
 public:
  virtual ~Framebuffer() = default;
};

class RenderPass {
 public:
  virtual ~RenderPass() = default;
};

// ---------------------------------------------------------------- descriptors

struct TextureDesc {
  DataFormat format = UNDEFINED;
  int32_t width = 1;
  int32_t height = 1;
  int32_t depth = 1;  // 1 for 2D; layers with ARRAY; 6 per cube with CUBE
  int32_t mipLevels = 1;
  int32_t flags = 0;
  std::vector<const uint8_t*> initialData;  // ignored: contents come from UpdateTextureLevel
};

struct SamplerStateDesc {
  TextureFilter magFilter = TextureFilter::LINEAR;
  TextureFilter minFilter = TextureFilter::LINEAR;
  TextureFilter mipFilter = TextureFilter::LINEAR;
  float maxAnisotropy = 1.0f;  // 1 or less: no anisotropy
  TextureAddressMode wrapU = TextureAddressMode::REPEAT;
  TextureAddressMode wrapV = TextureAddressMode::REPEAT;
  TextureAddressMode wrapW = TextureAddressMode::REPEAT;
  bool shadowCompareEnabled = false;
  Comparison shadowCompareOp = Comparison::LESS_EQUAL;
  BorderColor borderColor = BorderColor::DONT_CARE;
};

struct BlendTarget {
  bool enabled = false;
  int32_t colorWriteMask = 15;
  BlendFactor srcColor = BlendFactor::ONE;
  BlendFactor dstColor = BlendFactor::ZERO;
  BlendFactor srcAlpha = BlendFactor::ONE;
  BlendFactor dstAlpha = BlendFactor::ZERO;
  BlendOp colorOp = BlendOp::ADD;
  BlendOp alphaOp = BlendOp::ADD;
};

struct BlendStateDesc {
  std::vector<BlendTarget> renderTargets;  // at most 4; only the first affects drawing
};

struct DepthStencilStateDesc {
  bool depthTestEnabled = false;
  bool depthWriteEnabled = false;
  Comparison depthCompare = Comparison::LESS;
  bool stencilEnabled = false;
  StencilOp stencilFailOp = StencilOp::KEEP;
  StencilOp stencilPassOp = StencilOp::KEEP;
  StencilOp stencilDepthFailOp = StencilOp::KEEP;
  Comparison stencilCompareOp = Comparison::ALWAYS;
  uint8_t stencilCompareMask = 0xFF;
  uint8_t stencilWriteMask = 0xFF;
  uint8_t stencilReference = 0;
};

struct RasterStateDesc {
  CullMode cull = CullMode::NONE;
  Facing frontFace = Facing::CW;
};

struct BindingDesc {
  int32_t stride = 0;
  int32_t instanceRate = 0;  // always 0, ignored
};

struct AttributeDesc {
  int32_t binding = 0;
  int32_t location = 0;
  DataFormat format = UNDEFINED;  // one of 1..16
  int32_t offset = 0;
};

struct VertexLayoutDesc {
  std::vector<BindingDesc> bindings;  // at most 4
  std::vector<AttributeDesc> attributes;
};

struct PipelineDesc {
  std::vector<ShaderModule*> shaders;
  VertexLayout* vertexLayout = nullptr;
  DepthStencilState* depthStencil = nullptr;
  BlendState* blend = nullptr;
  RasterState* raster = nullptr;
};

struct AttachmentDesc {
  DataFormat format = UNDEFINED;
  int32_t loadAction = LOAD_KEEP;
  int32_t storeAction = 1;        // not read by the OpenGL context
  int32_t stencilLoadAction = 0;  // not read
  int32_t stencilStoreAction = 0;  // not read
};

struct RenderPassDesc {
  std::vector<AttachmentDesc> attachments;
};

struct FramebufferAttachment {
  Texture* texture = nullptr;
  int32_t layer = 0;
  int32_t mipLevel = 0;
};

struct FramebufferDesc {
  std::vector<FramebufferAttachment> attachments;
  int32_t width = 0;
  int32_t height = 0;
  int32_t layers = 1;
  RenderPass* renderPass = nullptr;  // required
};

struct RenderPassBeginInfo {
  Framebuffer* framebuffer = nullptr;  // required
  float clearColor[4] = {0, 0, 0, 0};
  float clearDepth = 1.0f;
  int32_t clearStencil = 0;
};

struct Viewport {
  float x = 0, y = 0, width = 0, height = 0, minDepth = 0, maxDepth = 1;
};

struct ScissorRect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

struct DeviceCaps {
  uint32_t word = 0;
  bool flag = false;
  int32_t count = 0;
};

struct SamplerBinding {
  std::string name;
  int32_t unit = 0;
};

// ---------------------------------------------------------------- the context

class DrawContext {
 public:
  virtual ~DrawContext() = default;

  // Waits until the GPU is done with the frame slot about to be reused and empties its memory.
  virtual void BeginFrame() = 0;
  // Ends the frame and shows the back buffer; false when presenting failed.
  virtual bool Present() = 0;
  // Culling, depth and scissor tests off, depth writes on, no program, full-window viewport,
  // no sampler on unit 0, no vertex layout.
  virtual void ResetState() = 0;
  virtual int32_t GetShaderLanguages() = 0;
  virtual int32_t GetShaderLanguage() = 0;
  virtual const DeviceCaps* GetDeviceCaps() = 0;
  virtual int32_t GetBackbufferWidth() = 0;
  virtual int32_t GetBackbufferHeight() = 0;
  // Any out pointer may be null; a null texture writes nothing.
  virtual void GetTextureDimensions(Texture* texture, int32_t* width, int32_t* height,
                                    int32_t* depth) = 0;
  virtual float GetBackbufferAspect() = 0;

  virtual VertexLayout* CreateVertexLayout(const VertexLayoutDesc& desc) = 0;
  virtual BlendState* CreateBlendState(const BlendStateDesc& desc) = 0;
  virtual DepthStencilState* CreateDepthStencilState(const DepthStencilStateDesc& desc) = 0;
  virtual RasterState* CreateRasterState(const RasterStateDesc& desc) = 0;
  // Null when the source does not compile; the compiler log goes to the log.
  virtual ShaderModule* CreateShaderModule(ShaderStage stage, int32_t language, const char* source,
                                           size_t length,
                                           const std::vector<SamplerBinding>& samplers) = 0;
  // Null when the program does not link.
  virtual Pipeline* CreatePipeline(const PipelineDesc& desc) = 0;
  virtual Sampler* CreateSamplerState(const SamplerStateDesc& desc) = 0;
  virtual Buffer* CreateBuffer(const void* data, size_t size, int32_t usageFlags) = 0;
  virtual Texture* CreateTexture(const TextureDesc& desc) = 0;
  // Uploads a box of texels; z selects the layer, cube face or 3D slice. Rows are consecutive in
  // the texture's format, each padded to a multiple of 4 bytes; the pitches are informational.
  virtual void UpdateTextureLevel(Texture* texture, int32_t level, int32_t x, int32_t y, int32_t z,
                                  int32_t width, int32_t height, int32_t depth, int32_t rowPitch,
                                  int32_t slicePitch, const void* data) = 0;
  virtual void GenerateMipmaps(Texture* texture) = 0;
  virtual Framebuffer* CreateFramebuffer(const FramebufferDesc& desc) = 0;
  virtual RenderPass* CreateRenderPass(const RenderPassDesc& desc) = 0;
  virtual void BlitFramebuffer(Framebuffer* destination, Framebuffer* source, int32_t width,
                               int32_t height) = 0;
  virtual void BeginRenderPass(RenderPass* pass, const RenderPassBeginInfo& info) = 0;
  virtual void EndRenderPass() = 0;
  virtual void SetViewports(int32_t first, int32_t count, const Viewport* viewports) = 0;
  virtual void SetScissorRect(const ScissorRect& rect) = 0;
  // Copies the bytes into frame memory and binds them as the uniform block at the slot.
  virtual void PushUniforms(int32_t slot, const void* data, size_t size) = 0;
  // count x stride bytes of frame memory for the caller to fill before DrawImmediate; null when
  // the frame's memory is used up (the draw is then skipped).
  virtual void* AllocateImmediateVertices(int32_t count, int32_t stride) = 0;
  virtual void DrawImmediate(Primitive primitive) = 0;
  // Uses the stride the bound pipeline's vertex layout declares for the binding.
  virtual void BindVertexBuffer(int32_t binding, Buffer* buffer, size_t offset) = 0;
  virtual void BindIndexBuffer(Buffer* buffer, bool indices32) = 0;
  virtual void BindPipeline(Pipeline* pipeline) = 0;
  virtual void BindStorageBuffer(int32_t slot, Buffer* buffer) = 0;
  virtual void BindSampler(int32_t unit, Sampler* sampler) = 0;
  virtual void BindTexture(int32_t unit, Texture* texture) = 0;
  virtual void Draw(Primitive primitive, int32_t firstVertex, int32_t vertexCount) = 0;
  virtual void DrawIndexed(Primitive primitive, int32_t indexCount, size_t indexByteOffset) = 0;
};

}  // namespace Draw
