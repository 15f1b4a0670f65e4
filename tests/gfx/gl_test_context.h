#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "gfx/opengl_context.h"

struct SDL_Window;

// A hidden SDL window with an OpenGL 4.5 core debug context and an initialised
// Draw::OpenGLContext.
class GLTestContext {
 public:
  explicit GLTestContext(int width = 64, int height = 64);
  ~GLTestContext();  // Shutdown, destroy window
  GLTestContext(const GLTestContext&) = delete;
  GLTestContext& operator=(const GLTestContext&) = delete;

  // False when no display is available (DISPLAY unset), and when the window or the context could
  // not be made although a display exists; the latter is already recorded as a test failure.
  bool Ok() const;
  Draw::OpenGLContext* Context();
  int Width() const;
  int Height() const;
  // RGBA8 pixels of the currently bound read framebuffer (default: the window's back buffer),
  // returned top row first, so that (x, y) matches the upper-left screen-space origin.
  std::vector<uint32_t> ReadPixels(int x, int y, int width, int height);
  uint32_t Pixel(int x, int y);  // red in the lowest byte

 private:
  int width_ = 0;
  int height_ = 0;
  bool ok_ = false;
  bool videoStarted_ = false;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<Draw::OpenGLContext> context_;
};

// Skips the test when no display exists; with a display, a context that fails is a test failure.
#define REQUIRE_GL(gl) \
  do { \
    if (!(gl).Ok()) GTEST_SKIP() << "no display for OpenGL"; \
  } while (0)
