#pragma once

#include "application/application.h"

// Runs application in one window until the user closes it, and returns the exit code (0 after
// the window was closed; 1, with the reason logged, when no window could be made or the
// application's loop could not start, which then closes the window itself).
//
// The calling thread (named "main") owns the window and pumps its events; the threads the
// application's run mode asks for draw and simulate (see AppThreads). The window's client area
// is 1280x720, or 720x720 for DisplayMode::MonoView. fullscreen switches the display to 1280x720
// for as long as the window exists (the closest mode the display offers when it has no
// 1280x720 mode) and restores it afterwards.
//
// Call once per process, on the main thread, with the application constructed; the application
// is not destroyed here.
int RunApplication(Application* application, const char* title, DisplayMode displayMode,
                   bool fullscreen);
