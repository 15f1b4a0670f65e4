#include "app/run_application.h"

#include <SDL.h>

#include <memory>
#include <string>

#include "app/app_threads.h"
#include "app/quit_keys.h"
#include "app/sdl_controls.h"
#include "base/log.h"
#include "gfx/opengl_context.h"

namespace {

constexpr int kWindowedX = 100;
constexpr int kWindowedY = 100;
constexpr int kFullscreenWidth = 1280;
constexpr int kFullscreenHeight = 720;
// The main thread has nothing to do between events; the timeout only bounds how long a missed
// wake-up could delay shutdown.
constexpr int kEventWaitMs = 100;

// Asks for the 1280x720 mode the window takes while it is shown in fullscreen. Displays without
// that mode (virtual X servers often have exactly one) get the closest larger one, or keep their
// current mode; either way the program runs.
void ChooseFullscreenMode(SDL_Window* window) {
  int display = SDL_GetWindowDisplayIndex(window);
  if (display < 0) {
    display = 0;
  }
  SDL_DisplayMode wanted = {};
  wanted.w = kFullscreenWidth;
  wanted.h = kFullscreenHeight;
  SDL_DisplayMode closest = {};
  if (SDL_GetClosestDisplayMode(display, &wanted, &closest) == nullptr) {
    SDL_DisplayMode current = {};
    SDL_GetCurrentDisplayMode(display, &current);
    Log(LogLevel::Warning, "The display has no mode of %dx%d or larger; fullscreen stays at %dx%d",
        kFullscreenWidth, kFullscreenHeight, current.w, current.h);
    closest = current;
  } else if (closest.w != kFullscreenWidth || closest.h != kFullscreenHeight) {
    Log(LogLevel::Warning, "The display has no %dx%d mode; fullscreen uses %dx%d",
        kFullscreenWidth, kFullscreenHeight, closest.w, closest.h);
  }
  if (SDL_SetWindowDisplayMode(window, &closest) != 0) {
    Log(LogLevel::Warning, "Cannot set the fullscreen display mode: %s", SDL_GetError());
  }
}

SDL_Window* CreateAppWindow(const char* title, DisplayMode displayMode, bool fullscreen) {
  Draw::OpenGLContext::SetWindowAttributes();
  // Shown only once the display mode is chosen: in fullscreen, showing is what switches it.
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int x = kWindowedX;
  int y = kWindowedY;
  int width = displayMode == DisplayMode::MonoView ? 720 : 1280;
  int height = 720;
  if (fullscreen) {
    flags |= SDL_WINDOW_FULLSCREEN;
    x = y = 0;
    width = kFullscreenWidth;
    height = kFullscreenHeight;
  } else {
    flags |= SDL_WINDOW_RESIZABLE;
  }
  SDL_Window* window = SDL_CreateWindow(title != nullptr ? title : "", x, y, width, height, flags);
  if (window == nullptr) {
    Log(LogLevel::Error, "Cannot create the %dx%d window: %s", width, height, SDL_GetError());
    return nullptr;
  }
  if (fullscreen) {
    ChooseFullscreenMode(window);
  }
  SDL_ShowWindow(window);
  return window;
}

// The title and the application's picture say so while a second Escape would quit.
void ShowQuitQuestion(SDL_Window* window, const std::string& title, bool asking,
                      Application* application) {
  SDL_SetWindowTitle(window,
                     asking ? (title + " - press Escape again to quit").c_str() : title.c_str());
  application->ShowQuitHint(asking);
  if (asking) Log(LogLevel::Warning, "Press Escape again to quit");
}

// Until the window is closed (its close button, SDL_QUIT from the system or a signal, Ctrl+Q, or
// Escape twice), every event goes to the controls, which hand the raw state to the application
// thread. The close button and the quit keys ask the application first, which may keep the run
// going while it asks about unsaved work; SDL_QUIT ends it (signals, the application itself).
void PumpEvents(SDL_Window* window, SdlControls* controls, Application* application) {
  const Uint32 windowId = SDL_GetWindowID(window);
  const std::string title = SDL_GetWindowTitle(window);
  QuitKeys quitKeys;
  for (;;) {
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, kEventWaitMs) == 0) {
      if (quitKeys.OnTick(SDL_GetTicks()) == QuitKeys::Action::Dismiss) {
        ShowQuitQuestion(window, title, false, application);
      }
      continue;
    }
    do {
      if (event.type == SDL_QUIT) {
        return;
      }
      if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE &&
          event.window.windowID == windowId && application->ConfirmQuit()) {
        return;
      }
      if (event.type == SDL_KEYDOWN && event.key.repeat == 0) {
        switch (quitKeys.OnKey(event.key.keysym.sym, event.key.keysym.mod, event.key.timestamp)) {
          case QuitKeys::Action::Quit:
            if (application->ConfirmQuit()) return;
            ShowQuitQuestion(window, title, false, application);
            break;
          case QuitKeys::Action::Ask: ShowQuitQuestion(window, title, true, application); break;
          case QuitKeys::Action::Dismiss: ShowQuitQuestion(window, title, false, application); break;
          case QuitKeys::Action::None: break;
        }
      }
      if (event.type == SDL_DROPFILE && event.drop.file != nullptr) {
        application->OpenDroppedFile(event.drop.file);
        SDL_free(event.drop.file);
        continue;
      }
      controls->HandleEvent(event);
    } while (SDL_PollEvent(&event) != 0);
  }
}

}  // namespace

int RunApplication(Application* application, const char* title, DisplayMode displayMode,
                   bool fullscreen) {
  // The main thread is left unnamed: its name is the process's name, which ps, top and pgrep
  // look for. Only the threads the program starts are named.
  LogToTerminal();

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    Log(LogLevel::Error, "Cannot open a window: %s", SDL_GetError());
    return 1;
  }
  // Game pads (SdlControls) and audio (the application thread's streamer) start their own SDL
  // subsystems.
  // Closing the window is a request the application may answer with a question about unsaved
  // work, not an immediate quit event.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_Window* window = CreateAppWindow(title, displayMode, fullscreen);
  if (window == nullptr) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 1;
  }
  // No GL work here: the context is made on the application thread, which alone uses it.
  auto context = std::make_unique<Draw::OpenGLContext>(window);
  auto controls = std::make_unique<SdlControls>(window);

  AppThreads threads;
  threads.Start(application, context.get(), controls.get(), application->GetRunMode(),
                displayMode);
  PumpEvents(window, controls.get(), application);
  threads.Stop();
  const int status = threads.Failed() ? 1 : 0;

  if (fullscreen) {
    // Hiding a fullscreen window gives the display its own mode back.
    SDL_HideWindow(window);
  }
  controls.reset();
  context.reset();
  SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return status;
}
