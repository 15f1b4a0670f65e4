#pragma once
// The threads that run an application beside the main thread, as its run mode asks:
//
//   run mode 0: server thread only (started with true)
//   run mode 1: application ("client") thread only
//   run mode 2: both, sharing a LocalConnection (server started with true)
//   run mode 3: both, sharing a LocalConnection (server started with false)
//
// Start and Stop are called on the main thread; the threads poll their quit flags once per frame
// or tick.
#include <atomic>
#include <memory>
#include <thread>

#include "application/application.h"

namespace Draw {
class OpenGLContext;
}

class AppThreads {
 public:
  AppThreads() = default;
  ~AppThreads();  // Stops the threads if Stop was not called.
  AppThreads(const AppThreads&) = delete;
  AppThreads& operator=(const AppThreads&) = delete;

  // context and controls must outlive Stop. An unknown run mode starts nothing (logged).
  void Start(Application* application, Draw::OpenGLContext* context, Controls* controls,
             RunMode runMode, DisplayMode displayMode);
  // Sets both quit flags, joins the application thread, then the server thread, then destroys
  // the local connection. The application thread finishes its frame and shuts the application
  // down before it ends.
  void Stop();
  // Whether the application thread ended because its loop could not start (it then asked the
  // main thread to end too).
  bool Failed() const { return failed_.load(); }

 private:
  std::thread client_;
  std::thread server_;
  std::unique_ptr<LocalConnection> connection_;
  std::atomic<bool> clientQuit_{false};
  std::atomic<bool> serverQuit_{false};
  std::atomic<bool> failed_{false};
};
