#include "gfx/opengl_context.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/ask_user.h"
#include "base/check.h"
#include "base/log.h"
#include "gfx/opengl_tables.h"
#include "gfx/sdl_ask_user.h"

namespace Draw {

namespace {

constexpr int kInfoLogSize = 2048;
// The minimums OpenGL 4.5 guarantees; the system never needs more.
constexpr int kMaxVertexAttributes = 16;
constexpr int kMaxViewports = 16;

// Sources may come with or without their terminating zero; with a length, nothing past it is
// read.
std::string SourceText(const char* source, size_t length) {
  if (length == 0) {
    return std::string(source);
  }
  const void* zero = std::memchr(source, 0, length);
  if (zero != nullptr) {
    length = static_cast<size_t>(static_cast<const char*>(zero) - source);
  }
  return std::string(source, length);
}

// Each line as its 1-based number right-aligned in four characters, then ":  " and the line, so
// that the compiler's line numbers can be found.
std::string NumberedSource(std::string_view text) {
  std::string numbered;
  int lineNumber = 1;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    char prefix[32];
    std::snprintf(prefix, sizeof(prefix), "%4d:  ", lineNumber++);
    numbered += prefix;
    numbered.append(text.substr(start, end - start));
    numbered += '\n';
    start = end + 1;
  }
  return numbered;
}

// Up to kInfoLogSize - 1 bytes of a shader's or program's log, always terminated.
template <class Getter>
void ReadInfoLog(Getter getter, GLuint object, char (&infoLog)[kInfoLogSize]) {
  GLsizei infoLength = 0;
  getter(object, kInfoLogSize, &infoLength, infoLog);
  infoLog[std::clamp<GLsizei>(infoLength, 0, kInfoLogSize - 1)] = '\0';
}

// Compiles one stage; on failure logs the compiler log, the numbered source and the log again
// (the source can be long, and the log is what one reads first and last) and returns 0.
GLuint CompileShader(GLenum type, const std::string& text) {
  const GLuint shader = glCreateShader(type);
  const char* source = text.c_str();
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint compiled = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
  if (compiled == GL_TRUE) {
    return shader;
  }
  char infoLog[kInfoLogSize];
  ReadInfoLog(glGetShaderInfoLog, shader, infoLog);
  // The sink ends the line itself.
  std::string_view firstReport(infoLog);
  while (!firstReport.empty() && firstReport.back() == '\n') {
    firstReport.remove_suffix(1);
  }
  Log(LogLevel::Error, "%.*s", static_cast<int>(firstReport.size()), infoLog);
  LogRaw(NumberedSource(text));
  LogRaw(infoLog);
  glDeleteShader(shader);
  return 0;
}

// Links program; on failure writes the link log as raw text. Returns whether it linked.
bool LinkProgram(GLuint program) {
  glLinkProgram(program);
  GLint linked = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (linked == GL_TRUE) {
    return true;
  }
  char infoLog[kInfoLogSize];
  ReadInfoLog(glGetProgramInfoLog, program, infoLog);
  Log(LogLevel::Error, "Program failed to link");
  LogRaw(infoLog);
  return false;
}

// SDL hands out untyped pointers; GLAD wants function pointers.
GLADapiproc LoadGLFunction(const char* name) {
  return reinterpret_cast<GLADapiproc>(SDL_GL_GetProcAddress(name));
}

int MaxMipLevels(int32_t width, int32_t height, int32_t depth) {
  int32_t size = std::max({width, height, depth});
  int levels = 1;
  while (size > 1) {
    size >>= 1;
    ++levels;
  }
  return levels;
}

}  // namespace

// ---------------------------------------------------------------- host-facing

OpenGLContext::OpenGLContext(SDL_Window* window) : window_(window) {}

OpenGLContext::~OpenGLContext() = default;

void OpenGLContext::SetWindowAttributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_DEBUG_FLAG);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

bool OpenGLContext::Init() {
  if (window_ == nullptr) {
    Log(LogLevel::Error, "No window to create the OpenGL context on");
    return false;
  }
  if (glContext_ != nullptr) {
    Log(LogLevel::Error, "The OpenGL context is initialised already");
    return false;
  }
  SetWindowAttributes();
  glContext_ = SDL_GL_CreateContext(window_);
  if (glContext_ == nullptr) {
    Log(LogLevel::Error, "Failed to create an OpenGL 4.5 core context: %s", SDL_GetError());
    return false;
  }
  if (SDL_GL_MakeCurrent(window_, glContext_) != 0) {
    Log(LogLevel::Error, "Failed to make the OpenGL context current: %s", SDL_GetError());
  }
  if (gladLoadGL(&LoadGLFunction) == 0) {
    Log(LogLevel::Error, "Failed to load GLAD");
    return false;
  }
  loaded_ = true;
  InstallSdlAskUserHandler();

  ReadWindowSize();
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  Log(LogLevel::Info, "%s : %s", version != nullptr ? version : "",
      renderer != nullptr ? renderer : "");
  ExitIfRefusedRenderer(renderer);

  glEnable(GL_DEBUG_OUTPUT);
  glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
  glDebugMessageCallback(&DebugOutputCallback, this);
  glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_TRUE);

  constexpr GLbitfield kMapFlags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
  for (FrameMemory& frame : frames_) {
    glCreateBuffers(1, &frame.buffer);
    glNamedBufferStorage(frame.buffer, kFrameMemorySize, nullptr, kMapFlags);
    frame.mapped = static_cast<uint8_t*>(
        glMapNamedBufferRange(frame.buffer, 0, kFrameMemorySize, kMapFlags));
    frame.size = frame.mapped != nullptr ? static_cast<int64_t>(kFrameMemorySize) : 0;
    frame.offset = 0;
    frame.fence = nullptr;
    frame.overflowReported = false;
    if (frame.mapped == nullptr) {
      Log(LogLevel::Error, "Failed to map %zu bytes of frame memory", kFrameMemorySize);
      return false;
    }
  }
  frameIndex_ = 0;

  GLint alignment = 0;
  glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &alignment);
  uniformAlignment_ = alignment > 0 ? alignment : 256;

  glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
  glDisable(GL_CULL_FACE);
  // Screen space has its origin in the upper-left corner; clip-space depth stays -1..1.
  glClipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
  glFrontFace(GL_CW);
  glEnable(GL_PRIMITIVE_RESTART_FIXED_INDEX);
  // Point sprites are always on in a core context; the legacy enable would only raise an error.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // uploaded rows are padded to 4 bytes

  // A checkerboard of opaque white and transparent black, white in the top-left texel, so that
  // a draw that forgot its texture is easy to spot.
  uint32_t checker[16];
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      checker[y * 4 + x] = ((x + y) % 2 == 0) ? 0xFFFFFFFFu : 0x00000000u;
    }
  }
  glCreateTextures(GL_TEXTURE_2D, 1, &defaultTexture_);
  glTextureStorage2D(defaultTexture_, 1, GL_RGBA8, 4, 4);
  glTextureSubImage2D(defaultTexture_, 0, 0, 0, 4, 4, GL_RGBA, GL_UNSIGNED_BYTE, checker);
  glBindTextureUnit(0, defaultTexture_);

  glCreateVertexArrays(1, &emptyVertexArray_);

  caps_.word = 0x01232223;
  caps_.flag = true;
  caps_.count = 4;
  return true;
}

void OpenGLContext::Shutdown() {
  if (loaded_) {
    for (FrameMemory& frame : frames_) {
      if (frame.fence != nullptr) {
        glDeleteSync(frame.fence);
      }
      if (frame.mapped != nullptr) {
        glUnmapNamedBuffer(frame.buffer);
      }
      if (frame.buffer != 0) {
        glDeleteBuffers(1, &frame.buffer);
      }
      frame = FrameMemory();
    }
    glDeleteTextures(1, &defaultTexture_);
    glDeleteVertexArrays(1, &emptyVertexArray_);
    defaultTexture_ = 0;
    emptyVertexArray_ = 0;
    loaded_ = false;
  }
  if (glContext_ != nullptr) {
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(glContext_);
    glContext_ = nullptr;
  }
  currentPipeline_ = nullptr;
}

void OpenGLContext::ReadWindowSize() {
  int width = 0;
  int height = 0;
  SDL_GL_GetDrawableSize(window_, &width, &height);
  width_ = width;
  height_ = height;
  aspect_ = height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f;
}

// ---------------------------------------------------------------- frames

uint8_t* OpenGLContext::AllocateFrameMemory(size_t size, size_t alignment, int64_t* offset) {
  FrameMemory& frame = frames_[frameIndex_];
  if (alignment == 0) {
    alignment = 1;
  }
  const int64_t align = static_cast<int64_t>(alignment);
  const int64_t start = (frame.offset + align - 1) / align * align;
  // Never write past the mapping: what does not fit is refused, and the caller skips its
  // binding or draw. Once per frame is enough to see it in the log.
  if (frame.mapped == nullptr || size > static_cast<uint64_t>(frame.size) ||
      start > frame.size - static_cast<int64_t>(size)) {
    if (!frame.overflowReported) {
      Log(LogLevel::Error, "Frame memory used up: %zu bytes do not fit in the %lld left",
          size, static_cast<long long>(std::max<int64_t>(frame.size - frame.offset, 0)));
      frame.overflowReported = true;
    }
    return nullptr;
  }
  *offset = start;
  frame.offset = start + static_cast<int64_t>(size);
  return frame.mapped + start;
}

void OpenGLContext::BeginFrame() {
  if (!loaded_) {
    return;
  }
  FrameMemory& frame = frames_[frameIndex_];
  if (frame.fence != nullptr) {
    for (;;) {
      const GLenum result = glClientWaitSync(frame.fence, GL_SYNC_FLUSH_COMMANDS_BIT, 1);
      if (result == GL_ALREADY_SIGNALED || result == GL_CONDITION_SATISFIED) {
        break;
      }
      if (result == GL_WAIT_FAILED) {
        // Polling again would spin forever; the driver has already reported why.
        Log(LogLevel::Error, "Waiting for the GPU to finish frame slot %d failed", frameIndex_);
        break;
      }
    }
  }
  frame.offset = 0;
  frame.overflowReported = false;
  immediateVerticesValid_ = false;
}

bool OpenGLContext::Present() {
  if (!loaded_) {
    return false;
  }
  FrameMemory& frame = frames_[frameIndex_];
  if (frame.fence != nullptr) {
    glDeleteSync(frame.fence);
  }
  frame.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  frameIndex_ = (frameIndex_ + 1) % kFrameCount;
  // Immediate vertices live in the slot just closed; they cannot be drawn from the next one.
  immediateVerticesValid_ = false;
  SDL_ClearError();
  SDL_GL_SwapWindow(window_);
  const char* error = SDL_GetError();
  if (error != nullptr && error[0] != '\0') {
    Log(LogLevel::Error, "SwapBuffers failed: %s", error);
    return false;
  }
  ReadWindowSize();
  return true;
}

void OpenGLContext::ResetState() {
  if (!loaded_) {
    return;
  }
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDepthMask(GL_TRUE);
  glUseProgram(0);
  glViewport(0, 0, width_, height_);
  glBindSampler(0, 0);
  glBindVertexArray(0);
  currentPipeline_ = nullptr;
}

// ---------------------------------------------------------------- queries

int32_t OpenGLContext::GetShaderLanguages() { return GLSL_450; }

int32_t OpenGLContext::GetShaderLanguage() { return GLSL_450; }

const DeviceCaps* OpenGLContext::GetDeviceCaps() { return &caps_; }

int32_t OpenGLContext::GetBackbufferWidth() { return width_; }

int32_t OpenGLContext::GetBackbufferHeight() { return height_; }

float OpenGLContext::GetBackbufferAspect() { return aspect_; }

void OpenGLContext::GetTextureDimensions(Texture* texture, int32_t* width, int32_t* height,
                                         int32_t* depth) {
  if (texture == nullptr) {
    return;
  }
  const auto* glTexture = static_cast<const OpenGLTexture*>(texture);
  if (width != nullptr) {
    *width = glTexture->width;
  }
  if (height != nullptr) {
    *height = glTexture->height;
  }
  if (depth != nullptr) {
    *depth = glTexture->depth;
  }
}

// ---------------------------------------------------------------- state objects

VertexLayout* OpenGLContext::CreateVertexLayout(const VertexLayoutDesc& desc) {
  auto* layout = new OpenGLVertexLayout;
  glCreateVertexArrays(1, &layout->vertexArray);
  CHECK(desc.bindings.size() <= OpenGLVertexLayout::kMaxBindings);
  layout->bindingCount = static_cast<int32_t>(
      std::min<size_t>(desc.bindings.size(), OpenGLVertexLayout::kMaxBindings));
  for (int32_t i = 0; i < layout->bindingCount; ++i) {
    layout->strides[i] = desc.bindings[i].stride;
  }
  for (const AttributeDesc& attribute : desc.attributes) {
    const bool bindingValid = attribute.binding >= 0 && attribute.binding < layout->bindingCount;
    const bool locationValid = attribute.location >= 0 &&
                               attribute.location < kMaxVertexAttributes;
    CHECK(bindingValid);
    CHECK(locationValid);
    const int components = DataFormatCount(attribute.format);
    if (!bindingValid || !locationValid || components == 0) {
      continue;
    }
    const GLuint location = static_cast<GLuint>(attribute.location);
    glVertexArrayAttribFormat(layout->vertexArray, location, components,
                              GetDataFormatType(attribute.format),
                              DataFormatNormalized(attribute.format) ? GL_TRUE : GL_FALSE,
                              static_cast<GLuint>(attribute.offset));
    glVertexArrayAttribBinding(layout->vertexArray, location,
                               static_cast<GLuint>(attribute.binding));
    glEnableVertexArrayAttrib(layout->vertexArray, location);
  }
  return layout;
}

BlendState* OpenGLContext::CreateBlendState(const BlendStateDesc& desc) {
  auto* blend = new OpenGLBlendState;
  CHECK(desc.renderTargets.size() <= OpenGLBlendState::kMaxTargets);
  const size_t count = std::min<size_t>(desc.renderTargets.size(), OpenGLBlendState::kMaxTargets);
  for (size_t i = 0; i < count; ++i) {
    const BlendTarget& source = desc.renderTargets[i];
    OpenGLBlendState::Target& target = blend->targets[i];
    target.enabled = source.enabled;
    target.colorWriteMask = source.colorWriteMask;
    target.srcColor = ToGLBlendFactor(source.srcColor);
    target.dstColor = ToGLBlendFactor(source.dstColor);
    target.srcAlpha = ToGLBlendFactor(source.srcAlpha);
    target.dstAlpha = ToGLBlendFactor(source.dstAlpha);
    target.colorOp = ToGLBlendOp(source.colorOp);
    target.alphaOp = ToGLBlendOp(source.alphaOp);
  }
  return blend;
}

DepthStencilState* OpenGLContext::CreateDepthStencilState(const DepthStencilStateDesc& desc) {
  auto* state = new OpenGLDepthStencilState;
  state->depthTest = desc.depthTestEnabled;
  state->depthWrite = desc.depthWriteEnabled;
  state->depthFunc = ToGLComparison(desc.depthCompare);
  state->stencilEnabled = desc.stencilEnabled;
  state->stencilFail = ToGLStencilOp(desc.stencilFailOp);
  state->stencilDepthFail = ToGLStencilOp(desc.stencilDepthFailOp);
  state->stencilPass = ToGLStencilOp(desc.stencilPassOp);
  state->stencilFunc = ToGLComparison(desc.stencilCompareOp);
  state->reference = desc.stencilReference;
  state->compareMask = desc.stencilCompareMask;
  state->writeMask = desc.stencilWriteMask;
  return state;
}

RasterState* OpenGLContext::CreateRasterState(const RasterStateDesc& desc) {
  auto* state = new OpenGLRasterState;
  switch (desc.cull) {
    case CullMode::FRONT: state->cullFace = GL_FRONT; break;
    case CullMode::BACK: state->cullFace = GL_BACK; break;
    default: state->cullFace = 0; break;
  }
  state->frontFace = desc.frontFace == Facing::CCW ? GL_CCW : GL_CW;
  return state;
}

Sampler* OpenGLContext::CreateSamplerState(const SamplerStateDesc& desc) {
  auto* sampler = new OpenGLSampler;
  glCreateSamplers(1, &sampler->name);
  const GLuint name = sampler->name;
  glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER,
                      desc.magFilter == TextureFilter::LINEAR ? GL_LINEAR : GL_NEAREST);
  const bool minLinear = desc.minFilter == TextureFilter::LINEAR;
  const bool mipLinear = desc.mipFilter == TextureFilter::LINEAR;
  GLint minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  if (mipLinear) {
    minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
  glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, minFilter);
  // Drivers without anisotropic filtering would only report the parameter as an error.
  if (GLAD_GL_ARB_texture_filter_anisotropic || GLAD_GL_EXT_texture_filter_anisotropic) {
    glSamplerParameterf(name, GL_TEXTURE_MAX_ANISOTROPY,
                        desc.maxAnisotropy > 1.0f ? desc.maxAnisotropy : 1.0f);
  }
  glSamplerParameteri(name, GL_TEXTURE_WRAP_S, static_cast<GLint>(ToGLAddressMode(desc.wrapU)));
  glSamplerParameteri(name, GL_TEXTURE_WRAP_T, static_cast<GLint>(ToGLAddressMode(desc.wrapV)));
  glSamplerParameteri(name, GL_TEXTURE_WRAP_R, static_cast<GLint>(ToGLAddressMode(desc.wrapW)));
  if (desc.shadowCompareEnabled) {
    glSamplerParameteri(name, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
    glSamplerParameteri(name, GL_TEXTURE_COMPARE_FUNC,
                        static_cast<GLint>(ToGLComparison(desc.shadowCompareOp)));
  }
  static constexpr float kBorderColors[4][4] = {
      {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}};
  const int border = static_cast<int>(desc.borderColor);
  if (border >= 1 && border <= 3) {
    glSamplerParameterfv(name, GL_TEXTURE_BORDER_COLOR, kBorderColors[border]);
  }
  return sampler;
}

// ---------------------------------------------------------------- shaders and pipelines

ShaderModule* OpenGLContext::CreateShaderModule(ShaderStage stage, int32_t language,
                                                const char* source, size_t length,
                                                const std::vector<SamplerBinding>& samplers) {
  const GLenum type = ToGLShaderType(stage);
  if (type == 0) {
    Log(LogLevel::Error, "Shader stage %d has no OpenGL shader type here", static_cast<int>(stage));
    return nullptr;
  }
  if (language != GLSL_450) {
    Log(LogLevel::Error, "Shader language %d is not the OpenGL shading language (%d)", language,
        static_cast<int>(GLSL_450));
    return nullptr;
  }
  if (source == nullptr) {
    Log(LogLevel::Error, "Shader module without source");
    return nullptr;
  }
  const GLuint shader = CompileShader(type, SourceText(source, length));
  if (shader == 0) {
    return nullptr;
  }
  auto* module = new OpenGLShaderModule;
  module->name = shader;
  module->stage = stage;
  module->samplers = samplers;
  return module;
}

Pipeline* OpenGLContext::CreatePipeline(const PipelineDesc& desc) {
  bool modulesPresent = true;
  for (ShaderModule* module : desc.shaders) {
    CHECK(module != nullptr);
    modulesPresent = modulesPresent && module != nullptr;
  }
  if (!modulesPresent) {
    return nullptr;
  }
  const GLuint program = glCreateProgram();
  std::vector<SamplerBinding> samplers;
  for (ShaderModule* module : desc.shaders) {
    const auto* glModule = static_cast<const OpenGLShaderModule*>(module);
    glAttachShader(program, glModule->name);
    samplers.insert(samplers.end(), glModule->samplers.begin(), glModule->samplers.end());
  }
  const bool linked = LinkProgram(program);
  for (ShaderModule* module : desc.shaders) {
    glDetachShader(program, static_cast<const OpenGLShaderModule*>(module)->name);
  }
  if (!linked) {
    glDeleteProgram(program);
    return nullptr;
  }
  for (const SamplerBinding& binding : samplers) {
    const GLint location = glGetUniformLocation(program, binding.name.c_str());
    if (location >= 0) {
      glProgramUniform1i(program, location, binding.unit);
    }
  }
  auto* pipeline = new OpenGLPipeline;
  pipeline->program = program;
  pipeline->depthStencil = static_cast<OpenGLDepthStencilState*>(desc.depthStencil);
  pipeline->blend = static_cast<OpenGLBlendState*>(desc.blend);
  pipeline->vertexLayout = static_cast<OpenGLVertexLayout*>(desc.vertexLayout);
  pipeline->raster = static_cast<OpenGLRasterState*>(desc.raster);
  return pipeline;
}

// ---------------------------------------------------------------- buffers and textures

Buffer* OpenGLContext::CreateBuffer(const void* data, size_t size, int32_t usageFlags) {
  if (size == 0 || size > static_cast<size_t>(PTRDIFF_MAX)) {
    Log(LogLevel::Error, "Cannot create a buffer of %zu bytes", size);
    return nullptr;
  }
  return new OpenGLBuffer(data, size, usageFlags);
}

Texture* OpenGLContext::CreateTexture(const TextureDesc& desc) {
  const bool isArray = (desc.flags & ARRAY) != 0;
  const bool isCube = (desc.flags & CUBE) != 0;
  if (desc.width < 1 || desc.height < 1 || desc.depth < 1) {
    Log(LogLevel::Error, "Cannot create a texture of %d x %d x %d", desc.width, desc.height,
        desc.depth);
    return nullptr;
  }
  if (isCube && (desc.width != desc.height || desc.depth % 6 != 0 || (!isArray && desc.depth != 6))) {
    Log(LogLevel::Error, "A cube texture needs square faces and 6 faces per cube, not %d x %d x %d",
        desc.width, desc.height, desc.depth);
    return nullptr;
  }
  GLenum target = GL_TEXTURE_2D;
  int32_t depth = desc.depth;
  if (desc.depth >= 2) {
    if (isArray && isCube) {
      target = GL_TEXTURE_CUBE_MAP_ARRAY;
    } else if (isArray) {
      target = GL_TEXTURE_2D_ARRAY;
    } else if (isCube) {
      target = GL_TEXTURE_CUBE_MAP;
      depth = desc.depth / 6;
    } else {
      target = GL_TEXTURE_3D;
    }
  }
  const int maxLevels =
      MaxMipLevels(desc.width, desc.height, target == GL_TEXTURE_3D ? desc.depth : 1);
  if (desc.mipLevels < 1 || desc.mipLevels > maxLevels) {
    Log(LogLevel::Error, "A %d x %d x %d texture cannot have %d mip levels", desc.width,
        desc.height, desc.depth, desc.mipLevels);
    return nullptr;
  }
  auto* texture = new OpenGLTexture;
  texture->flags = desc.flags;
  texture->width = desc.width;
  texture->height = desc.height;
  texture->format = desc.format;
  texture->mipLevels = desc.mipLevels;
  texture->target = target;
  glCreateTextures(target, 1, &texture->name);
  if (desc.flags & ALPHA_MASK) {
    static constexpr GLint kSwizzle[4] = {GL_ONE, GL_ONE, GL_ONE, GL_RED};
    glTextureParameteriv(texture->name, GL_TEXTURE_SWIZZLE_RGBA, kSwizzle);
  }
  const GLenum internalFormat = GetTextureInternalFormat(desc.format);
  if (target == GL_TEXTURE_CUBE_MAP_ARRAY) {
    // Storage counts the faces; the texture records whole cubes.
    glTextureStorage3D(texture->name, desc.mipLevels, internalFormat, desc.width, desc.height,
                       desc.depth);
    texture->uses3DStorage = true;
    depth = desc.depth / 6;
  } else if (depth < 2) {
    glTextureStorage2D(texture->name, desc.mipLevels, internalFormat, desc.width, desc.height);
  } else {
    glTextureStorage3D(texture->name, desc.mipLevels, internalFormat, desc.width, desc.height,
                       depth);
    texture->uses3DStorage = true;
  }
  texture->depth = depth;
  return texture;
}

void OpenGLContext::UpdateTextureLevel(Texture* texture, int32_t level, int32_t x, int32_t y,
                                       int32_t z, int32_t width, int32_t height, int32_t depth,
                                       int32_t /*rowPitch*/, int32_t /*slicePitch*/,
                                       const void* data) {
  if (texture == nullptr || data == nullptr) {
    Log(LogLevel::Error, "Texture upload without %s", texture == nullptr ? "texture" : "data");
    return;
  }
  auto* glTexture = static_cast<OpenGLTexture*>(texture);
  const bool threeD = glTexture->uses3DStorage || (glTexture->flags & CUBE) != 0;
  if (!threeD) {
    CHECK(depth == 1);  // a 2D texture has one slice; z is not looked at
    if (depth != 1) {
      return;
    }
    z = 0;
  }
  // What z can address at this level: cube faces, array layers (faces of all cubes for cube
  // arrays) or 3D slices, which shrink with the level.
  int64_t levelWidth = 0, levelHeight = 0, levelDepth = 1;
  if (level >= 0 && level < glTexture->mipLevels) {
    levelWidth = std::max(1, glTexture->width >> level);
    levelHeight = std::max(1, glTexture->height >> level);
    if (glTexture->target == GL_TEXTURE_3D) {
      levelDepth = std::max(1, glTexture->depth >> level);
    } else if (glTexture->target == GL_TEXTURE_CUBE_MAP) {
      levelDepth = 6;
    } else if (glTexture->target == GL_TEXTURE_CUBE_MAP_ARRAY) {
      levelDepth = int64_t(glTexture->depth) * 6;
    } else if (glTexture->target == GL_TEXTURE_2D_ARRAY) {
      levelDepth = glTexture->depth;
    }
  }
  const bool boxInside = x >= 0 && y >= 0 && z >= 0 && width >= 0 && height >= 0 && depth >= 0 &&
                         int64_t(x) + width <= levelWidth && int64_t(y) + height <= levelHeight &&
                         int64_t(z) + depth <= levelDepth;
  if (!boxInside) {
    Log(LogLevel::Error,
        "Texture upload of %d x %d x %d at (%d, %d, %d) does not fit level %d of a %d x %d x %d "
        "texture with %d levels",
        width, height, depth, x, y, z, level, glTexture->width, glTexture->height,
        glTexture->depth, glTexture->mipLevels);
    return;
  }
  if (width == 0 || height == 0 || depth == 0) {
    return;
  }
  const GLenum internalFormat = GetTextureInternalFormat(glTexture->format);
  const int blockBytes = GetCompressedBlockBytes(glTexture->format);
  if (blockBytes > 0) {
    const int64_t imageSize =
        int64_t((width + 3) / 4) * ((height + 3) / 4) * blockBytes * depth;
    if (threeD) {
      glCompressedTextureSubImage3D(glTexture->name, level, x, y, z, width, height, depth,
                                    internalFormat, static_cast<GLsizei>(imageSize), data);
    } else {
      glCompressedTextureSubImage2D(glTexture->name, level, x, y, width, height, internalFormat,
                                    static_cast<GLsizei>(imageSize), data);
    }
    return;
  }
  const GLenum type = GetDataFormatType(glTexture->format);  // checks the format can be uploaded
  if (DataFormatSizeInBytes(glTexture->format) == 0) {
    return;
  }
  const GLenum layout = GetUploadLayout(glTexture->format);
  if (threeD) {
    // Cube faces are addressed as layers 0..5, which direct state access allows for cube maps.
    glTextureSubImage3D(glTexture->name, level, x, y, z, width, height, depth, layout, type, data);
  } else {
    glTextureSubImage2D(glTexture->name, level, x, y, width, height, layout, type, data);
  }
}

void OpenGLContext::GenerateMipmaps(Texture* texture) {
  if (texture == nullptr) {
    return;
  }
  glGenerateTextureMipmap(static_cast<OpenGLTexture*>(texture)->name);
}

// ---------------------------------------------------------------- framebuffers and passes

Framebuffer* OpenGLContext::CreateFramebuffer(const FramebufferDesc& desc) {
  const auto* pass = static_cast<const OpenGLRenderPass*>(desc.renderPass);
  CHECK(pass != nullptr);
  if (pass == nullptr) {
    return nullptr;
  }
  CHECK(desc.attachments.size() == pass->attachments.size());
  if (desc.attachments.size() != pass->attachments.size()) {
    return nullptr;
  }
  auto* framebuffer = new OpenGLFramebuffer;
  framebuffer->attachments = desc.attachments;
  glCreateFramebuffers(1, &framebuffer->name);
  GLenum nextColor = GL_COLOR_ATTACHMENT0;
  for (const FramebufferAttachment& attachment : desc.attachments) {
    const auto* texture = static_cast<const OpenGLTexture*>(attachment.texture);
    CHECK(texture != nullptr);
    if (texture == nullptr) {
      continue;
    }
    GLenum point = 0;
    if (IsColorAttachable(texture->format)) {
      point = nextColor++;
    } else if (IsDepthAttachable(texture->format)) {
      point = HasStencil(texture->format) ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    } else {
      CHECK(false);  // neither colour nor depth: S8 and the sampled-only formats
      continue;
    }
    if (texture->flags & ARRAY) {
      glNamedFramebufferTextureLayer(framebuffer->name, point, texture->name, attachment.mipLevel,
                                     attachment.layer);
    } else {
      glNamedFramebufferTexture(framebuffer->name, point, texture->name, attachment.mipLevel);
    }
  }
  const GLenum status = glCheckNamedFramebufferStatus(framebuffer->name, GL_DRAW_FRAMEBUFFER);
  if (status == GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT) {
    Log(LogLevel::Error, "Framebuffer has incomplete attachment");
  } else if (status != GL_FRAMEBUFFER_COMPLETE) {
    Log(LogLevel::Error, "Framebuffer incomplete/other: %d", static_cast<int>(status));
  }
  return framebuffer;
}

RenderPass* OpenGLContext::CreateRenderPass(const RenderPassDesc& desc) {
  auto* pass = new OpenGLRenderPass;
  pass->attachments = desc.attachments;
  return pass;
}

void OpenGLContext::BlitFramebuffer(Framebuffer* destination, Framebuffer* source, int32_t width,
                                    int32_t height) {
  const GLuint from = source != nullptr ? static_cast<OpenGLFramebuffer*>(source)->name : 0;
  const GLuint to = destination != nullptr ? static_cast<OpenGLFramebuffer*>(destination)->name : 0;
  glBlitNamedFramebuffer(from, to, 0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                         GL_NEAREST);
}

void OpenGLContext::BeginRenderPass(RenderPass* pass, const RenderPassBeginInfo& info) {
  CHECK(pass != nullptr);
  CHECK(info.framebuffer != nullptr);
  if (pass == nullptr || info.framebuffer == nullptr) {
    return;
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<OpenGLFramebuffer*>(info.framebuffer)->name);
  GLbitfield clearBits = 0;
  for (const AttachmentDesc& attachment : static_cast<OpenGLRenderPass*>(pass)->attachments) {
    if (attachment.loadAction != CLEAR) {
      continue;
    }
    if (IsColorAttachable(attachment.format)) {
      glClearColor(info.clearColor[0], info.clearColor[1], info.clearColor[2], info.clearColor[3]);
      clearBits |= GL_COLOR_BUFFER_BIT;
    } else if (IsDepthAttachable(attachment.format)) {
      clearBits |= GL_DEPTH_BUFFER_BIT;
      if (HasStencil(attachment.format)) {
        clearBits |= GL_STENCIL_BUFFER_BIT;
      }
    }
  }
  if (clearBits & GL_DEPTH_BUFFER_BIT) {
    // A pipeline without depth writes would otherwise leave the clear undone.
    glDepthMask(GL_TRUE);
    glClearDepth(info.clearDepth);
  }
  if (clearBits & GL_STENCIL_BUFFER_BIT) {
    glClearStencil(info.clearStencil);
  }
  if (clearBits != 0) {
    glClear(clearBits);
  }
}

void OpenGLContext::EndRenderPass() {}

void OpenGLContext::SetViewports(int32_t first, int32_t count, const Viewport* viewports) {
  const bool valid = first >= 0 && count >= 0 && int64_t(first) + count <= kMaxViewports &&
                     (count == 0 || viewports != nullptr);
  CHECK(valid);
  if (!valid || count == 0) {
    return;
  }
  float rectangles[kMaxViewports * 4];
  double depthRanges[kMaxViewports * 2];
  for (int32_t i = 0; i < count; ++i) {
    rectangles[i * 4 + 0] = viewports[i].x;
    rectangles[i * 4 + 1] = viewports[i].y;
    rectangles[i * 4 + 2] = viewports[i].width;
    rectangles[i * 4 + 3] = viewports[i].height;
    depthRanges[i * 2 + 0] = viewports[i].minDepth;
    depthRanges[i * 2 + 1] = viewports[i].maxDepth;
  }
  glViewportArrayv(static_cast<GLuint>(first), count, rectangles);
  glDepthRangeArrayv(static_cast<GLuint>(first), count, depthRanges);
}

void OpenGLContext::SetScissorRect(const ScissorRect& rect) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(rect.x, rect.y, rect.width, rect.height);
}

// ---------------------------------------------------------------- frame memory users

void OpenGLContext::PushUniforms(int32_t slot, const void* data, size_t size) {
  CHECK(data != nullptr || size == 0);
  if (data == nullptr || size == 0) {
    return;
  }
  int64_t offset = 0;
  uint8_t* destination = AllocateFrameMemory(size, static_cast<size_t>(uniformAlignment_), &offset);
  if (destination == nullptr) {
    return;  // the block keeps whatever was bound before; the overflow is in the log
  }
  std::memcpy(destination, data, size);
  lastUniformOffset_ = offset;
  glBindBufferRange(GL_UNIFORM_BUFFER, static_cast<GLuint>(slot), frames_[frameIndex_].buffer,
                    static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size));
}

void* OpenGLContext::AllocateImmediateVertices(int32_t count, int32_t stride) {
  immediateVerticesValid_ = false;
  immediateVertexCount_ = count;
  immediateStride_ = stride;
  if (count < 0 || stride < 0) {
    Log(LogLevel::Error, "Cannot allocate %d immediate vertices of %d bytes", count, stride);
    return nullptr;
  }
  int64_t offset = 0;
  uint8_t* vertices = AllocateFrameMemory(size_t(count) * size_t(stride), 4, &offset);
  if (vertices == nullptr) {
    return nullptr;
  }
  immediateVertexOffset_ = offset;
  immediateVerticesValid_ = true;
  return vertices;
}

void OpenGLContext::DrawImmediate(Primitive primitive) {
  if (!immediateVerticesValid_) {
    return;  // the allocation did not fit (or belongs to another frame): nothing to draw
  }
  glBindVertexBuffer(0, frames_[frameIndex_].buffer, static_cast<GLintptr>(immediateVertexOffset_),
                     immediateStride_);
  glDrawArrays(ToGLPrimitive(primitive), 0, immediateVertexCount_);
}

// ---------------------------------------------------------------- binding and drawing

void OpenGLContext::BindVertexBuffer(int32_t binding, Buffer* buffer, size_t offset) {
  const bool valid = binding >= 0 && binding < OpenGLVertexLayout::kMaxBindings;
  CHECK(valid);
  if (!valid) {
    return;
  }
  const GLuint name = buffer != nullptr ? static_cast<OpenGLBuffer*>(buffer)->name : 0;
  glBindVertexBuffer(static_cast<GLuint>(binding), name, static_cast<GLintptr>(offset),
                     vertexStrides_[binding]);
}

void OpenGLContext::BindIndexBuffer(Buffer* buffer, bool indices32) {
  // The element binding belongs to the bound vertex array: bind the pipeline first.
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER,
               buffer != nullptr ? static_cast<OpenGLBuffer*>(buffer)->name : 0);
  index32_ = indices32;
}

void OpenGLContext::BindPipeline(Pipeline* pipeline) {
  CHECK(pipeline != nullptr);
  if (pipeline == nullptr) {
    return;
  }
  auto* glPipeline = static_cast<OpenGLPipeline*>(pipeline);
  glUseProgram(glPipeline->program);
  if (const OpenGLVertexLayout* layout = glPipeline->vertexLayout) {
    glBindVertexArray(layout->vertexArray);
    for (int32_t i = 0; i < layout->bindingCount; ++i) {
      vertexStrides_[i] = layout->strides[i];
    }
  } else {
    glBindVertexArray(emptyVertexArray_);
  }

  const OpenGLBlendState::Target* blend =
      glPipeline->blend != nullptr ? &glPipeline->blend->targets[0] : nullptr;
  if (blend != nullptr && blend->enabled) {
    glEnable(GL_BLEND);
    glBlendEquationSeparate(blend->colorOp, blend->alphaOp);
    glBlendFuncSeparate(blend->srcColor, blend->dstColor, blend->srcAlpha, blend->dstAlpha);
  } else {
    glDisable(GL_BLEND);
  }

  const OpenGLDepthStencilState* depthStencil = glPipeline->depthStencil;
  if (depthStencil != nullptr && depthStencil->depthTest) {
    glEnable(GL_DEPTH_TEST);
    glDepthMask(depthStencil->depthWrite ? GL_TRUE : GL_FALSE);
    glDepthFunc(depthStencil->depthFunc);
  } else {
    glDisable(GL_DEPTH_TEST);  // the depth mask stays as it was
  }
  if (depthStencil != nullptr && depthStencil->stencilEnabled) {
    glEnable(GL_STENCIL_TEST);
    glStencilOpSeparate(GL_FRONT_AND_BACK, depthStencil->stencilFail,
                        depthStencil->stencilDepthFail, depthStencil->stencilPass);
    glStencilFuncSeparate(GL_FRONT_AND_BACK, depthStencil->stencilFunc, depthStencil->reference,
                          depthStencil->compareMask);
    glStencilMaskSeparate(GL_FRONT_AND_BACK, depthStencil->writeMask);
  } else {
    glDisable(GL_STENCIL_TEST);
  }

  const OpenGLRasterState* raster = glPipeline->raster;
  if (raster != nullptr && raster->cullFace != 0) {
    glCullFace(raster->cullFace);
    glEnable(GL_CULL_FACE);
  } else {
    glDisable(GL_CULL_FACE);
  }
  glFrontFace(raster != nullptr ? raster->frontFace : GL_CW);
  currentPipeline_ = glPipeline;
}

void OpenGLContext::BindStorageBuffer(int32_t slot, Buffer* buffer) {
  CHECK(buffer != nullptr);
  if (buffer == nullptr) {
    return;
  }
  glBindBufferBase(GL_SHADER_STORAGE_BUFFER, static_cast<GLuint>(slot),
                   static_cast<OpenGLBuffer*>(buffer)->name);
}

void OpenGLContext::BindSampler(int32_t unit, Sampler* sampler) {
  const GLuint name = sampler != nullptr ? static_cast<OpenGLSampler*>(sampler)->name : 0;
  glBindSamplers(static_cast<GLuint>(unit), 1, &name);
}

void OpenGLContext::BindTexture(int32_t unit, Texture* texture) {
  const GLuint name = texture != nullptr ? static_cast<OpenGLTexture*>(texture)->name : 0;
  glBindTextures(static_cast<GLuint>(unit), 1, &name);
}

void OpenGLContext::Draw(Primitive primitive, int32_t firstVertex, int32_t vertexCount) {
  glDrawArrays(ToGLPrimitive(primitive), firstVertex, vertexCount);
}

void OpenGLContext::DrawIndexed(Primitive primitive, int32_t indexCount, size_t indexByteOffset) {
  glDrawElements(ToGLPrimitive(primitive), indexCount,
                 index32_ ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                 reinterpret_cast<const void*>(indexByteOffset));
}

// ---------------------------------------------------------------- free functions

GLuint CompileProgram(const char* vertexSource, const char* fragmentSource) {
  if (vertexSource == nullptr || fragmentSource == nullptr) {
    Log(LogLevel::Error, "CompileProgram needs both a vertex and a fragment source");
    return 0;
  }
  const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, vertexSource);
  const GLuint fragmentShader = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
  if (vertexShader == 0 || fragmentShader == 0) {
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return 0;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vertexShader);
  glAttachShader(program, fragmentShader);
  const bool linked = LinkProgram(program);
  // The shaders stay attached; deleting them now only lets them go with the program.
  glDeleteShader(vertexShader);
  glDeleteShader(fragmentShader);
  CHECK(linked);
  if (!linked) {
    glDeleteProgram(program);
    program = 0;
  }
  return program;
}

bool IsRefusedRenderer(const char* renderer, const char** title, const char** text) {
  struct Refusal {
    const char* renderer;
    const char* title;
    const char* text;
  };
  static constexpr Refusal kRefusals[] = {
      {"GDI Generic", "No proper GL context",
       "Can't run - got GDI Generic OpenGL. Remote Desktop or no drivers?"},
      {"Intel(R) HD Graphics 620", "No nVidia GL context",
       "Can't run - got Intel OpenGL. Optimus not working?"},
  };
  if (renderer == nullptr) {
    return false;
  }
  for (const Refusal& refusal : kRefusals) {
    if (std::strcmp(renderer, refusal.renderer) == 0) {
      if (title != nullptr) {
        *title = refusal.title;
      }
      if (text != nullptr) {
        *text = refusal.text;
      }
      return true;
    }
  }
  return false;
}

void ExitIfRefusedRenderer(const char* renderer) {
  const char* title = nullptr;
  const char* text = nullptr;
  if (!IsRefusedRenderer(renderer, &title, &text)) {
    return;
  }
  Log(LogLevel::Error, "%s", text);
  AskUser(title, text, AskUserButtons::Ok);
  // Ends at once, as the platform's process exit does: other threads are still running, so no
  // static destructors; only the buffered output is written out first.
  std::fflush(nullptr);
  std::_Exit(1);
}

void GLAPIENTRY DebugOutputCallback(GLenum source, GLenum type, GLuint /*id*/, GLenum severity,
                                    GLsizei length, const GLchar* message,
                                    const void* /*userParam*/) {
  const std::string_view text =
      message == nullptr ? std::string_view()
      : length >= 0      ? std::string_view(message, static_cast<size_t>(length))
                         : std::string_view(message);
  // The driver's notes on where it placed each buffer would drown everything else.
  if (type == GL_DEBUG_TYPE_OTHER && text.find("Buffer detailed info") != std::string_view::npos) {
    return;
  }
  LogLevel level = LogLevel::Debug;
  if (!DebugSeverityLevel(severity, &level)) {
    return;
  }
  Log(level, "%s:%s: %.*s", DebugSourceName(source), DebugTypeName(type),
      static_cast<int>(std::min<size_t>(text.size(), 2047)), text.empty() ? "" : text.data());
}

}  // namespace Draw
