#include "vr/simulated/sim_eye_capture.h"

#include <SDL.h>
#include <glad/gl.h>

#include "base/log.h"

namespace vr::sim {
namespace {

constexpr GLint kMaxCaptureSize = 16384;

}  // namespace

bool ReadTextureRgba8(uint32_t texture, int* width, int* height, std::vector<uint8_t>* pixels) {
  if (SDL_GL_GetCurrentContext() == nullptr || glad_glGetTextureImage == nullptr ||
      glad_glGetTextureLevelParameteriv == nullptr) {
    Log(LogLevel::Error, "Eye capture: no OpenGL 4.5 context is current");
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
    // Earlier errors belong to the application; only this read's errors matter here.
  }
  if (glIsTexture(texture) != GL_TRUE) {
    Log(LogLevel::Error, "Eye capture: %u is not an OpenGL texture", texture);
    return false;
  }
  GLint w = 0, h = 0;
  glGetTextureLevelParameteriv(texture, 0, GL_TEXTURE_WIDTH, &w);
  glGetTextureLevelParameteriv(texture, 0, GL_TEXTURE_HEIGHT, &h);
  if (w <= 0 || h <= 0 || w > kMaxCaptureSize || h > kMaxCaptureSize) {
    Log(LogLevel::Error, "Eye capture: texture %u has an unusable size %dx%d", texture, w, h);
    return false;
  }
  pixels->assign(size_t(w) * size_t(h) * 4, 0);
  // Read into client memory with tight rows, whatever the application left bound.
  GLint packBuffer = 0, packAlignment = 4;
  glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
  glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTextureImage(texture, 0, GL_RGBA, GL_UNSIGNED_BYTE, GLsizei(pixels->size()),
                    pixels->data());
  const GLenum error = glGetError();
  glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(packBuffer));
  if (error != GL_NO_ERROR) {
    Log(LogLevel::Error, "Eye capture: reading texture %u failed (GL error 0x%04x)", texture,
        error);
    return false;
  }
  *width = w;
  *height = h;
  return true;
}

bool CaptureEyeTexture(const char* eyeName, uint32_t texture, const std::string& path) {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  if (!ReadTextureRgba8(texture, &width, &height, &pixels)) {
    Log(LogLevel::Error, "Could not capture the %s eye to %s", eyeName, path.c_str());
    return false;
  }
  return WriteEyePng(eyeName, width, height, &pixels, path);
}

}  // namespace vr::sim
