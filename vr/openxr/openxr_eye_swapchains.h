#pragma once
// One swapchain per eye at the recommended size; the host's resolved eye textures are copied
// into the acquired images at submit.
#include <openxr/openxr.h>

#include <cstdint>
#include <vector>

namespace vr::openxr {

// The format for the host's gamma-encoded RGBA8 images: GL_SRGB8_ALPHA8 first (the runtime then
// reads them as the sRGB they are), else GL_RGBA8 (*gammaMismatch set: the runtime will take them
// for linear and show them too bright); 0 when neither is offered.
int64_t ChooseSwapchainFormat(const std::vector<int64_t>& offered, bool* gammaMismatch);

class EyeSwapchains {
 public:
  EyeSwapchains() = default;
  ~EyeSwapchains() { Destroy(); }
  EyeSwapchains(const EyeSwapchains&) = delete;
  EyeSwapchains& operator=(const EyeSwapchains&) = delete;

  // Logs and returns false when no usable format is offered or a swapchain cannot be made.
  bool Create(XrInstance instance, XrSession session, uint32_t width, uint32_t height);
  // Needs the OpenGL context the session was made on to be current.
  void Destroy();
  // Copies the whole of texture (width x height, RGBA8, top row first) into the eye's next image,
  // upright, and releases it; false when the runtime refused a step (logged).
  bool CopyIn(int eye, uint32_t texture);

  XrSwapchain Handle(int eye) const { return eyes_[eye & 1].swapchain; }
  uint32_t Width() const { return width_; }
  uint32_t Height() const { return height_; }

 private:
  struct Eye {
    XrSwapchain swapchain = XR_NULL_HANDLE;
    std::vector<uint32_t> images;
  };
  XrInstance instance_ = XR_NULL_HANDLE;
  Eye eyes_[2];
  uint32_t width_ = 0, height_ = 0;
  uint32_t framebuffers_[2] = {};  // reading the host's image, drawing the swapchain's
};

}  // namespace vr::openxr
