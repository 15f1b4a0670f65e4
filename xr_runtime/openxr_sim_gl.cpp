// The few OpenGL calls the OpenXR simulated headset makes, in the application's context. Nothing
// here assumes the application loaded OpenGL in any particular way: entry points come from
// glXGetProcAddressARB, once per process.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <mutex>

#include "base/log.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

struct GlFunctions {
  PFNGLGENTEXTURESEXTPROC genTextures = nullptr;
  PFNGLDELETETEXTURESEXTPROC deleteTextures = nullptr;
  void(APIENTRY* bindTexture)(GLenum, GLuint) = nullptr;
  void(APIENTRY* getIntegerv)(GLenum, GLint*) = nullptr;
  GLenum(APIENTRY* getError)() = nullptr;
  void(APIENTRY* pixelStorei)(GLenum, GLint) = nullptr;
  void(APIENTRY* texParameteri)(GLenum, GLenum, GLint) = nullptr;
  PFNGLTEXSTORAGE2DPROC texStorage2D = nullptr;
  PFNGLBINDBUFFERPROC bindBuffer = nullptr;
  PFNGLGETTEXTURESUBIMAGEPROC getTextureSubImage = nullptr;
  bool complete = false;
};

template <typename F>
void Load(F* f, const char* name) {
  *f = reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

const GlFunctions& Gl() {
  static GlFunctions gl;
  static std::once_flag once;
  std::call_once(once, [] {
    Load(&gl.genTextures, "glGenTextures");
    Load(&gl.deleteTextures, "glDeleteTextures");
    Load(&gl.bindTexture, "glBindTexture");
    Load(&gl.getIntegerv, "glGetIntegerv");
    Load(&gl.getError, "glGetError");
    Load(&gl.pixelStorei, "glPixelStorei");
    Load(&gl.texParameteri, "glTexParameteri");
    Load(&gl.texStorage2D, "glTexStorage2D");
    Load(&gl.bindBuffer, "glBindBuffer");
    Load(&gl.getTextureSubImage, "glGetTextureSubImage");
    gl.complete = gl.genTextures && gl.deleteTextures && gl.bindTexture && gl.getIntegerv &&
                  gl.getError && gl.pixelStorei && gl.texParameteri && gl.texStorage2D &&
                  gl.bindBuffer && gl.getTextureSubImage;
    if (!gl.complete) Log(LogLevel::Error, "OpenXR simulated headset: OpenGL 4.5 is missing");
  });
  return gl;
}

void DrainErrors(const GlFunctions& gl) {
  for (int i = 0; i < 64 && gl.getError() != GL_NO_ERROR; ++i) {
    // Earlier errors belong to the application.
  }
}

}  // namespace

bool GlContextCurrent() { return glXGetCurrentContext() != nullptr && Gl().complete; }

bool CreateTextures(int64_t format, uint32_t width, uint32_t height, uint32_t mipCount,
                    std::vector<uint32_t>* textures) {
  const GlFunctions& gl = Gl();
  DrainErrors(gl);
  GLint previous = 0;
  gl.getIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  gl.genTextures(GLsizei(textures->size()), textures->data());
  for (uint32_t texture : *textures) {
    gl.bindTexture(GL_TEXTURE_2D, texture);
    gl.texStorage2D(GL_TEXTURE_2D, GLsizei(mipCount), GLenum(format), GLsizei(width),
                    GLsizei(height));
    gl.texParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.texParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  }
  gl.bindTexture(GL_TEXTURE_2D, GLuint(previous));
  const GLenum error = gl.getError();
  if (error != GL_NO_ERROR) {
    Log(LogLevel::Error, "xrCreateSwapchain: OpenGL error 0x%04x making %ux%u images", error,
        width, height);
    gl.deleteTextures(GLsizei(textures->size()), textures->data());
    return false;
  }
  return true;
}

void DeleteTextures(const std::vector<uint32_t>& textures) {
  Gl().deleteTextures(GLsizei(textures.size()), textures.data());
}

bool ReadTextureRect(uint32_t texture, int x, int y, int width, int height,
                     std::vector<uint8_t>* pixels) {
  if (!GlContextCurrent()) {
    Log(LogLevel::Error, "Eye capture: no OpenGL context is current");
    return false;
  }
  const GlFunctions& gl = Gl();
  DrainErrors(gl);
  const size_t rowBytes = size_t(width) * 4;
  std::vector<uint8_t> bottomUp(rowBytes * size_t(height));
  GLint packBuffer = 0, packAlignment = 4;
  gl.getIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
  gl.getIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  gl.bindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  gl.pixelStorei(GL_PACK_ALIGNMENT, 1);
  gl.getTextureSubImage(texture, 0, x, y, 0, width, height, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                        GLsizei(bottomUp.size()), bottomUp.data());
  const GLenum error = gl.getError();
  gl.pixelStorei(GL_PACK_ALIGNMENT, packAlignment);
  gl.bindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(packBuffer));
  if (error != GL_NO_ERROR) {
    Log(LogLevel::Error, "Eye capture: reading texture %u failed (GL error 0x%04x)", texture,
        error);
    return false;
  }
  pixels->resize(bottomUp.size());
  for (int row = 0; row < height; ++row) {
    std::copy_n(bottomUp.data() + size_t(height - 1 - row) * rowBytes, rowBytes,
                pixels->data() + size_t(row) * rowBytes);
  }
  return true;
}

}  // namespace vr::xrsim
