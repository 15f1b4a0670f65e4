#include "vr/openxr/openxr_eye_swapchains.h"

#include <glad/gl.h>

#define XR_USE_GRAPHICS_API_OPENGL
#include <openxr/openxr_platform.h>

#include <algorithm>

#include "base/log.h"
#include "vr/openxr/openxr_calls.h"

namespace vr::openxr {

int64_t ChooseSwapchainFormat(const std::vector<int64_t>& offered, bool* gammaMismatch) {
  *gammaMismatch = false;
  const auto has = [&](int64_t format) {
    return std::find(offered.begin(), offered.end(), format) != offered.end();
  };
  if (has(GL_SRGB8_ALPHA8)) return GL_SRGB8_ALPHA8;
  if (has(GL_RGBA8)) {
    *gammaMismatch = true;
    return GL_RGBA8;
  }
  return 0;
}

bool EyeSwapchains::Create(XrInstance instance, XrSession session, uint32_t width,
                           uint32_t height) {
  instance_ = instance;
  uint32_t count = 0;
  if (!Succeeded(instance, xrEnumerateSwapchainFormats(session, 0, &count, nullptr),
                 "xrEnumerateSwapchainFormats")) {
    return false;
  }
  std::vector<int64_t> formats(count);
  if (!Succeeded(instance, xrEnumerateSwapchainFormats(session, count, &count, formats.data()),
                 "xrEnumerateSwapchainFormats")) {
    return false;
  }
  formats.resize(count);
  bool gammaMismatch = false;
  const int64_t format = ChooseSwapchainFormat(formats, &gammaMismatch);
  if (format == 0) {
    Log(LogLevel::Error,
        "OpenXR: the runtime offers neither GL_SRGB8_ALPHA8 nor GL_RGBA8 swapchains (%u formats)",
        count);
    return false;
  }
  if (gammaMismatch) {
    Log(LogLevel::Warning,
        "OpenXR: no sRGB swapchain format offered; using GL_RGBA8, colours may look too bright");
  }
  for (Eye& eye : eyes_) {
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT;
    info.format = format;
    info.sampleCount = 1;
    info.width = width;
    info.height = height;
    info.faceCount = 1;
    info.arraySize = 1;
    info.mipCount = 1;
    if (!Succeeded(instance, xrCreateSwapchain(session, &info, &eye.swapchain),
                   "xrCreateSwapchain")) {
      Destroy();
      return false;
    }
    uint32_t imageCount = 0;
    XrResult result = xrEnumerateSwapchainImages(eye.swapchain, 0, &imageCount, nullptr);
    std::vector<XrSwapchainImageOpenGLKHR> images(imageCount,
                                                  {XR_TYPE_SWAPCHAIN_IMAGE_OPENGL_KHR});
    if (XR_SUCCEEDED(result)) {
      result = xrEnumerateSwapchainImages(
          eye.swapchain, imageCount, &imageCount,
          reinterpret_cast<XrSwapchainImageBaseHeader*>(images.data()));
    }
    if (!Succeeded(instance, result, "xrEnumerateSwapchainImages") || imageCount == 0) {
      Destroy();
      return false;
    }
    for (uint32_t i = 0; i < imageCount; ++i) eye.images.push_back(images[i].image);
  }
  width_ = width;
  height_ = height;
  return true;
}

void EyeSwapchains::Destroy() {
  if (framebuffers_[0] != 0) glDeleteFramebuffers(2, framebuffers_);
  framebuffers_[0] = framebuffers_[1] = 0;
  for (Eye& eye : eyes_) {
    if (eye.swapchain != XR_NULL_HANDLE) xrDestroySwapchain(eye.swapchain);
    eye = Eye{};
  }
}

bool EyeSwapchains::CopyIn(int eye, uint32_t texture) {
  Eye& target = eyes_[eye & 1];
  if (target.swapchain == XR_NULL_HANDLE) return false;
  uint32_t index = 0;
  XrSwapchainImageAcquireInfo acquire{XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO};
  if (!Succeeded(instance_, xrAcquireSwapchainImage(target.swapchain, &acquire, &index),
                 "xrAcquireSwapchainImage")) {
    return false;
  }
  XrSwapchainImageWaitInfo wait{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
  wait.timeout = 100000000;  // 100 ms: a runtime holding an image longer has stalled
  const XrResult waited = xrWaitSwapchainImage(target.swapchain, &wait);
  const bool copy = waited == XR_SUCCESS && index < target.images.size();
  if (copy) {
    // The host's eye images have their top row first; OpenGL swapchain images their bottom row.
    if (framebuffers_[0] == 0) glCreateFramebuffers(2, framebuffers_);
    glNamedFramebufferTexture(framebuffers_[0], GL_COLOR_ATTACHMENT0, texture, 0);
    glNamedFramebufferTexture(framebuffers_[1], GL_COLOR_ATTACHMENT0, target.images[index], 0);
    // Bytes go across as they are: the images are gamma-encoded already.
    const GLboolean srgbWrites = glIsEnabled(GL_FRAMEBUFFER_SRGB);
    glDisable(GL_FRAMEBUFFER_SRGB);
    const GLint w = GLint(width_), h = GLint(height_);
    glBlitNamedFramebuffer(framebuffers_[0], framebuffers_[1], 0, 0, w, h, 0, h, w, 0,
                           GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (srgbWrites) glEnable(GL_FRAMEBUFFER_SRGB);
  } else {
    Log(LogLevel::Warning, "OpenXR: xrWaitSwapchainImage: %s", ResultName(instance_, waited));
  }
  // An image that was never waited on cannot be released; a timed-out wait is retried by the
  // next frame's acquire failing, which the caller logs.
  if (waited == XR_SUCCESS) {
    XrSwapchainImageReleaseInfo release{XR_TYPE_SWAPCHAIN_IMAGE_RELEASE_INFO};
    if (!Succeeded(instance_, xrReleaseSwapchainImage(target.swapchain, &release),
                   "xrReleaseSwapchainImage")) {
      return false;
    }
  }
  return copy;
}

}  // namespace vr::openxr
