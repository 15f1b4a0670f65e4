#pragma once
#include <cstdint>

#include "application/application.h"
#include "gfx/draw_context.h"

// The shaders draw with the upper-left clip origin, so a view drawn straight into the window
// would appear upside down. The desktop view is drawn into this colour and depth target instead
// and blitted into the window with its rows reversed.
class DesktopViewTarget {
 public:
  // (Re)creates the target when the size changed; false when it cannot be made.
  bool Prepare(Draw::DrawContext* context, int32_t width, int32_t height);
  // A FrameInfo bindTarget: begins the pass on the target, cleared to the given colour.
  // targetUserData must point at this object.
  static void Bind(int view, const FrameInfo* info, const float clearColour[4]);
  // Ends the pass and copies the image flipped into the window's framebuffer.
  void PresentToWindow();
  void Release();

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

 private:
  Draw::DrawContext* context_ = nullptr;
  Draw::Texture* colour_ = nullptr;
  Draw::Texture* depth_ = nullptr;
  Draw::RenderPass* pass_ = nullptr;
  Draw::Framebuffer* framebuffer_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool passOpen_ = false;
};

// Reads the window's back buffer (what the next present shows) and writes it as a PNG, top row
// first. Returns whether the file was written.
bool WriteWindowImagePng(const char* path, int32_t width, int32_t height);
