#include "tests/gfx/gl_test_context.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>

namespace {

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

// Height of what glReadPixels reads from: the window, or the read framebuffer's attachment.
int ReadFramebufferHeight(int windowHeight) {
  GLint framebuffer = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &framebuffer);
  if (framebuffer == 0) {
    return windowHeight;
  }
  GLint readBuffer = GL_COLOR_ATTACHMENT0;
  glGetNamedFramebufferParameteriv(framebuffer, GL_READ_BUFFER, &readBuffer);
  const GLenum attachment = readBuffer == GL_NONE ? GL_DEPTH_ATTACHMENT : GLenum(readBuffer);
  GLint type = GL_NONE;
  GLint name = 0;
  glGetNamedFramebufferAttachmentParameteriv(framebuffer, attachment,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
  glGetNamedFramebufferAttachmentParameteriv(framebuffer, attachment,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
  GLint height = 0;
  if (type == GL_TEXTURE) {
    GLint level = 0;
    glGetNamedFramebufferAttachmentParameteriv(framebuffer, attachment,
                                               GL_FRAMEBUFFER_ATTACHMENT_TEXTURE_LEVEL, &level);
    glGetTextureLevelParameteriv(GLuint(name), level, GL_TEXTURE_HEIGHT, &height);
  } else if (type == GL_RENDERBUFFER) {
    glGetNamedRenderbufferParameteriv(GLuint(name), GL_RENDERBUFFER_HEIGHT, &height);
  }
  return height;
}

}  // namespace

GLTestContext::GLTestContext(int width, int height) : width_(width), height_(height) {
  if (!HasDisplay()) {
    return;  // nothing to render on: tests skip
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    ADD_FAILURE() << "SDL video does not start although a display is set: " << SDL_GetError();
    return;
  }
  videoStarted_ = true;
  Draw::OpenGLContext::SetWindowAttributes();
  window_ = SDL_CreateWindow("Loomwork GL test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window_ == nullptr) {
    ADD_FAILURE() << "Cannot create an OpenGL window: " << SDL_GetError();
    return;
  }
  context_ = std::make_unique<Draw::OpenGLContext>(window_);
  if (!context_->Init()) {
    ADD_FAILURE() << "Cannot initialise the OpenGL context (see the log)";
    return;
  }
  ok_ = true;
}

GLTestContext::~GLTestContext() {
  if (context_ != nullptr) {
    context_->Shutdown();
    context_.reset();
  }
  if (window_ != nullptr) {
    SDL_DestroyWindow(window_);
  }
  if (videoStarted_) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
}

bool GLTestContext::Ok() const { return ok_; }

Draw::OpenGLContext* GLTestContext::Context() { return context_.get(); }

int GLTestContext::Width() const { return width_; }

int GLTestContext::Height() const { return height_; }

std::vector<uint32_t> GLTestContext::ReadPixels(int x, int y, int width, int height) {
  if (!ok_ || width <= 0 || height <= 0) {
    return {};
  }
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  const int framebufferHeight = ReadFramebufferHeight(height_);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // OpenGL counts rows from the bottom; screen space here counts them from the top.
  glReadPixels(x, framebufferHeight - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
               pixels.data());
  for (int row = 0; row < height / 2; ++row) {
    std::swap_ranges(pixels.begin() + ptrdiff_t(row) * width,
                     pixels.begin() + ptrdiff_t(row + 1) * width,
                     pixels.begin() + ptrdiff_t(height - 1 - row) * width);
  }
  return pixels;
}

uint32_t GLTestContext::Pixel(int x, int y) {
  const std::vector<uint32_t> pixels = ReadPixels(x, y, 1, 1);
  return pixels.empty() ? 0 : pixels[0];
}
