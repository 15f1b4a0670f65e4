#include "app/app_threads.h"

#include <SDL.h>

#include <csignal>

#include "app/desktop_loop.h"
#include "app/thread_name.h"
#include "app/vr_loop.h"
#include "audio/sdl_audio_streamer.h"
#include "base/check.h"
#include "base/log.h"

namespace {

void ClientThreadMain(Application* application, Draw::OpenGLContext* context, Controls* controls,
                      LocalConnection* connection, DisplayMode displayMode,
                      std::atomic<bool>* quit, std::atomic<bool>* failed) {
  SetCurrentThreadName("client");
  if (connection != nullptr) {
    application->SetConnection(connection);
  }
  auto audio = std::make_unique<SdlAudioStreamer>();
  bool ran = true;
  switch (displayMode) {
    case DisplayMode::Desktop:
      ran = RunDesktopLoop(application, context, audio.get(), controls, quit);
      break;
    case DisplayMode::Stereo:
    case DisplayMode::MonoView:
      ran = RunVRLoop(application, context, audio.get(), controls, quit, displayMode);
      break;
  }
  audio.reset();
  // Nothing will ever draw into the window, and nobody may be there to close it: the program
  // ends, saying why, unless it was already asked to.
  if (!ran && !quit->load(std::memory_order_relaxed)) {
    Log(LogLevel::Error, "Loomwork ends: %s could not start",
        displayMode == DisplayMode::Desktop ? "the desktop window" : "VR");
    failed->store(true);
    SDL_Event event = {};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
  }
  // SDL keeps per-thread state (its error text) for threads it did not start; this one ends here.
  SDL_TLSCleanup();
}

void ServerThreadMain(Application* application, LocalConnection* connection, bool startFlag,
                      std::atomic<bool>* quit) {
  SetCurrentThreadName("server");
  Server* server = application->GetServer();
  if (server == nullptr) {
    Log(LogLevel::Fatal, "Server cannot be null in this RunMode");
    // A programming error in the application: stop where a debugger can see it. Without one,
    // the thread has nothing to run and simply ends; the window stays usable.
    if (IsDebuggerAttached()) {
      std::raise(SIGTRAP);
    }
    return;
  }
  if (connection != nullptr) {
    server->SetConnection(connection);
  }
  server->Start(startFlag);
  while (!quit->load(std::memory_order_relaxed)) {
    server->Tick();
  }
  server->Stop();
  delete server;
}

}  // namespace

AppThreads::~AppThreads() { Stop(); }

void AppThreads::Start(Application* application, Draw::OpenGLContext* context,
                       Controls* controls, RunMode runMode, DisplayMode displayMode) {
  bool startClient = false;
  bool startServer = false;
  bool serverFlag = true;
  switch (runMode) {
    case RunMode::ServerOnly:
      startServer = true;
      break;
    case RunMode::ClientOnly:
      startClient = true;
      break;
    case RunMode::ClientAndServer:
      startClient = startServer = true;
      break;
    case RunMode::ClientAndServerStartFalse:
      startClient = startServer = true;
      serverFlag = false;
      break;
    default:
      Log(LogLevel::Error, "Unknown run mode %d: no application thread is started",
          static_cast<int>(runMode));
      return;
  }
  clientQuit_.store(false, std::memory_order_relaxed);
  serverQuit_.store(false, std::memory_order_relaxed);
  if (startClient && startServer) {
    connection_ = std::make_unique<LocalConnection>();
  }
  if (startClient) {
    client_ = std::thread(&ClientThreadMain, application, context, controls, connection_.get(),
                          displayMode, &clientQuit_, &failed_);
  }
  if (startServer) {
    server_ = std::thread(&ServerThreadMain, application, connection_.get(), serverFlag,
                          &serverQuit_);
  }
}

void AppThreads::Stop() {
  clientQuit_.store(true, std::memory_order_relaxed);
  serverQuit_.store(true, std::memory_order_relaxed);
  if (client_.joinable()) {
    client_.join();
  }
  if (server_.joinable()) {
    server_.join();
  }
  connection_.reset();
}
