#include "gfx/opengl_resources.h"

#include "base/check.h"
#include "base/log.h"

namespace Draw {

OpenGLBuffer::OpenGLBuffer(const void* data, size_t size_, int32_t usageFlags_)
    : target((usageFlags_ & STORAGE) ? GL_SHADER_STORAGE_BUFFER : GL_ARRAY_BUFFER),
      size(static_cast<int64_t>(size_)),
      usageFlags(usageFlags_) {
  glCreateBuffers(1, &name);
  if (usageFlags & STATIC) {
    CHECK(data != nullptr);
    glNamedBufferData(name, static_cast<GLsizeiptr>(size), data, GL_STATIC_DRAW);
  } else {
    // Initial data is not used: these buffers are filled with WriteData.
    glNamedBufferStorage(name, static_cast<GLsizeiptr>(size), nullptr, GL_DYNAMIC_STORAGE_BIT);
  }
}

OpenGLBuffer::~OpenGLBuffer() { glDeleteBuffers(1, &name); }

void OpenGLBuffer::WriteData(const void* data, size_t size_, size_t offset) {
  CHECK(!(usageFlags & STATIC));
  if (usageFlags & STATIC) {
    return;
  }
  if (size_ == 0) {
    return;
  }
  if (data == nullptr || offset > static_cast<uint64_t>(size) ||
      size_ > static_cast<uint64_t>(size) - offset) {
    Log(LogLevel::Error, "Buffer write of %zu bytes at %zu does not fit a buffer of %lld bytes",
        size_, offset, static_cast<long long>(size));
    return;
  }
  glNamedBufferSubData(name, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size_), data);
}

OpenGLTexture::~OpenGLTexture() { glDeleteTextures(1, &name); }

OpenGLSampler::~OpenGLSampler() { glDeleteSamplers(1, &name); }

OpenGLShaderModule::~OpenGLShaderModule() { glDeleteShader(name); }

OpenGLVertexLayout::~OpenGLVertexLayout() { glDeleteVertexArrays(1, &vertexArray); }

OpenGLPipeline::~OpenGLPipeline() { glDeleteProgram(program); }

OpenGLFramebuffer::~OpenGLFramebuffer() { glDeleteFramebuffers(1, &name); }

}  // namespace Draw
