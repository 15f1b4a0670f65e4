#include "gfx/opengl_context.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/ask_user.h"
#include "base/check.h"
#include "base/log.h"
#include "gfx/opengl_shader_compile.h"
#include "gfx/opengl_tables.h"
#include "gfx/sdl_ask_user.h"

namespace Draw {

namespace {

// SDL hands out untyped pointers; GLAD wants function pointers.
GLADapiproc LoadGLFunction(const char* name) {
  return reinterpret_cast<GLADapiproc>(SDL_GL_GetProcAddress(name));
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
