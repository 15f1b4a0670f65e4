#include "app/desktop_view_target.h"

#include <algorithm>
#include <vector>

#include <glad/gl.h>

#include "base/log.h"
#include "gfx/opengl_resources.h"
#include "gfx/png_file.h"

bool DesktopViewTarget::Prepare(Draw::DrawContext* context, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    return false;
  }
  if (framebuffer_ != nullptr && width == width_ && height == height_ && context == context_) {
    return true;
  }
  Release();
  context_ = context;
  Draw::TextureDesc colourDesc;
  colourDesc.format = Draw::R8G8B8A8_UNORM;
  colourDesc.width = width;
  colourDesc.height = height;
  colour_ = context->CreateTexture(colourDesc);
  Draw::TextureDesc depthDesc = colourDesc;
  depthDesc.format = Draw::D24_S8;
  depth_ = context->CreateTexture(depthDesc);
  Draw::RenderPassDesc passDesc;
  passDesc.attachments = {{Draw::R8G8B8A8_UNORM, Draw::CLEAR}, {Draw::D24_S8, Draw::CLEAR}};
  pass_ = context->CreateRenderPass(passDesc);
  if (colour_ == nullptr || depth_ == nullptr || pass_ == nullptr) {
    Log(LogLevel::Error, "DesktopViewTarget: cannot create the %dx%d view target", width, height);
    Release();
    return false;
  }
  Draw::FramebufferDesc framebufferDesc;
  framebufferDesc.attachments = {{colour_, 0, 0}, {depth_, 0, 0}};
  framebufferDesc.width = width;
  framebufferDesc.height = height;
  framebufferDesc.renderPass = pass_;
  framebuffer_ = context->CreateFramebuffer(framebufferDesc);
  if (framebuffer_ == nullptr) {
    Log(LogLevel::Error, "DesktopViewTarget: cannot create the %dx%d framebuffer", width, height);
    Release();
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

void DesktopViewTarget::Bind(int /*view*/, const FrameInfo* info, const float clearColour[4]) {
  auto* target = static_cast<DesktopViewTarget*>(info->targetUserData);
  if (target == nullptr || target->framebuffer_ == nullptr) {
    return;
  }
  Draw::RenderPassBeginInfo begin;
  begin.framebuffer = target->framebuffer_;
  for (int i = 0; i < 4; ++i) begin.clearColor[i] = clearColour[i];
  target->context_->BeginRenderPass(target->pass_, begin);
  target->passOpen_ = true;
}

void DesktopViewTarget::PresentToWindow() {
  if (framebuffer_ == nullptr) {
    return;
  }
  if (passOpen_) {
    context_->EndRenderPass();
    passOpen_ = false;
  }
  const GLuint source = static_cast<Draw::OpenGLFramebuffer*>(framebuffer_)->name;
  // Destination y swapped: the target's first row is the top of the image.
  glBlitNamedFramebuffer(source, 0, 0, 0, width_, height_, 0, height_, width_, 0,
                         GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void DesktopViewTarget::Release() {
  delete framebuffer_;
  delete pass_;
  delete depth_;
  delete colour_;
  framebuffer_ = nullptr;
  pass_ = nullptr;
  depth_ = nullptr;
  colour_ = nullptr;
  width_ = height_ = 0;
  passOpen_ = false;
}

bool WriteWindowImagePng(const char* path, int32_t width, int32_t height) {
  if (path == nullptr || width <= 0 || height <= 0) {
    return false;
  }
  std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 4);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  // GL rows run bottom-up; the file's run top-down.
  std::vector<uint8_t> flipped(pixels.size());
  const size_t rowBytes = size_t(width) * 4;
  for (int32_t y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + size_t(height - 1 - y) * rowBytes, rowBytes,
                flipped.data() + size_t(y) * rowBytes);
  }
  for (size_t i = 3; i < flipped.size(); i += 4) flipped[i] = 255;
  if (!WritePngFile(path, flipped, width, height)) {
    Log(LogLevel::Error, "WriteWindowImagePng: cannot write %s", path);
    return false;
  }
  return true;
}
