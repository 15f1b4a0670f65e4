#pragma once
// A hidden SDL window with an initialised OpenGL context for the benchmarks that draw (needs a
// display; `make bench` provides a virtual one). context stays null when none can be made.
#include <SDL.h>

#include "gfx/opengl_context.h"

struct BenchWindow {
  SDL_Window* window = nullptr;
  Draw::OpenGLContext* context = nullptr;

  BenchWindow(int width, int height) {
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
    Draw::OpenGLContext::SetWindowAttributes();
    window = SDL_CreateWindow("bench", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return;
    context = new Draw::OpenGLContext(window);
    if (!context->Init()) {
      context->Shutdown();
      delete context;
      context = nullptr;
    }
  }
  ~BenchWindow() {
    if (context) context->Shutdown();
    delete context;
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
  }
  BenchWindow(const BenchWindow&) = delete;
  BenchWindow& operator=(const BenchWindow&) = delete;
};
