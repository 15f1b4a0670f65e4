// shell_test_app: a tiny application run by the real host, for the shell tests.
//
// It takes the program's own flags (--novr, --monoview, --fullscreen, --dataroot) and a few of
// its own that say when to close the window, which run mode and server to offer, and then
// prints what it saw as "key=value" lines on standard output after the host returned: call
// counts and their order, the FrameInfo it was given, the window and display sizes, thread names.
// The window is closed the way a user would close it, by a window-close event (or SDL_QUIT)
// pushed into SDL's queue from the application or server thread.
#include <SDL.h>
#include <glad/gl.h>
#include <gflags/gflags.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "application/application.h"
#include "app/controls.h"
#include "app/flags.h"
#include "app/run_application.h"
#include "gfx/draw_context.h"

DEFINE_int32(close_after_frames, 0, "Close the window after this many frames (0: never)");
DEFINE_string(close_with, "window", "How to close: 'window' (window-close event) or 'quit'");
DEFINE_bool(close_when_shown, false, "Close the window as soon as it is shown");
DEFINE_int32(wants_quit_after, 0,
             "WantsQuit answers true after this many frames; Shutdown then closes the window");
DEFINE_int32(run_mode, 1, "The run mode the application asks for");
DEFINE_bool(server, false, "Offer a server object to the server thread");
DEFINE_int32(close_after_ticks, 0, "The server closes the window after this many ticks");

namespace {

constexpr float kClearColour[4] = {0.2f, 0.4f, 0.8f, 1.0f};  // 51, 102, 204 in 8 bits

std::string CurrentThreadName() {
  char name[32] = {};
  pthread_getname_np(pthread_self(), name, sizeof(name));
  return name;
}

std::atomic<bool> g_closeRequested{false};

// Once only: pushing a second close after the first would be harmless but noisy.
void RequestClose(uint32_t windowId) {
  if (g_closeRequested.exchange(true)) {
    return;
  }
  SDL_Event event = {};
  if (FLAGS_close_with == "quit" || windowId == 0) {
    event.type = SDL_QUIT;
  } else {
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = windowId;
  }
  SDL_PushEvent(&event);
}

struct Observations {
  // Main thread, when the window is shown.
  std::string mainThreadName;
  int shownWidth = 0, shownHeight = 0;
  int shownX = 0, shownY = 0;
  bool resizable = false;
  std::string title;
  uint32_t windowId = 0;
};

class CountingServer : public Server {
 public:
  explicit CountingServer(LocalConnection** connectionSeen, int* startFlag, int* ticks,
                          int* stops, int* deletions, std::string* threadName)
      : connectionSeen_(connectionSeen),
        startFlag_(startFlag),
        ticks_(ticks),
        stops_(stops),
        deletions_(deletions),
        threadName_(threadName) {}
  ~CountingServer() override { ++*deletions_; }

  void SetConnection(LocalConnection* connection) override { *connectionSeen_ = connection; }
  void Start(bool flag) override {
    *startFlag_ = flag ? 1 : 0;
    *threadName_ = CurrentThreadName();
  }
  void Stop() override { ++*stops_; }
  void Tick() override {
    ++*ticks_;
    if (FLAGS_close_after_ticks > 0 && *ticks_ == FLAGS_close_after_ticks) {
      RequestClose(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

 private:
  LocalConnection** connectionSeen_;
  int* startFlag_;
  int* ticks_;
  int* stops_;
  int* deletions_;
  std::string* threadName_;
};

class ShellTestApplication : public Application {
 public:
  // Written by the application thread, read after the host returned (threads joined).
  int initCalls = 0;
  int frames = 0;
  int shutdownCalls = 0;
  int systemKeyCalls = 0;
  int controlCalls = 0;
  int callsOutOfOrder = 0;  // anything before Init or after Shutdown
  bool vrInputSeen = false;
  bool controlsMissing = false;
  std::string clientThreadName;
  bool initIsVR = true;
  int initViewCount = 0;
  bool initTargetIsContext = false;
  bool initAudioPresent = false;
  bool initHeadIdentity = false;
  uint32_t lastWidth = 0, lastHeight = 0;
  float projection0 = 0, projection5 = 0;
  uint32_t clearPixel = 0;
  int viewport[4] = {};
  int displayWidth = 0, displayHeight = 0;
  LocalConnection* clientConnection = nullptr;
  // Server side.
  LocalConnection* serverConnection = nullptr;
  int serverStartFlag = -1;
  int serverTicks = 0;
  int serverStops = 0;
  int serverDeletions = 0;
  std::string serverThreadName;

  RunMode GetRunMode() override { return static_cast<RunMode>(FLAGS_run_mode); }

  Server* GetServer() override {
    if (!FLAGS_server) {
      return nullptr;
    }
    return new CountingServer(&serverConnection, &serverStartFlag, &serverTicks, &serverStops,
                              &serverDeletions, &serverThreadName);
  }

  void SetConnection(LocalConnection* connection) override { clientConnection = connection; }

  void Init(Draw::DrawContext* context, AudioStreamer* audio, const FrameInfo* info) override {
    if (initCalls > 0 || frames > 0 || shutdownCalls > 0) {
      ++callsOutOfOrder;
    }
    ++initCalls;
    clientThreadName = CurrentThreadName();
    initIsVR = info->isVR;
    initViewCount = info->viewCount;
    initTargetIsContext = info->targetUserData == context;
    initAudioPresent = audio != nullptr;
    const Matrix4x4 identity = Matrix4x4::Identity();
    initHeadIdentity = std::memcmp(&info->headPose, &identity, sizeof(identity)) == 0 &&
                       std::memcmp(&info->headView, &identity, sizeof(identity)) == 0;
    windowId_ = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  }

  void Shutdown(Draw::DrawContext* /*context*/) override {
    if (initCalls == 0 || shutdownCalls > 0) {
      ++callsOutOfOrder;
    }
    ++shutdownCalls;
    if (FLAGS_wants_quit_after > 0) {
      RequestClose(windowId_);
    }
  }

  void ProcessSystemKeys(Controls* controls, bool* vrInput) override {
    CountInputCall(controls, vrInput);
    ++systemKeyCalls;
  }

  void ProcessControls(Controls* controls, bool* vrInput) override {
    CountInputCall(controls, vrInput);
    ++controlCalls;
  }

  void UpdateAndRender(Draw::DrawContext* /*context*/, const FrameInfo* info) override {
    if (initCalls == 0 || shutdownCalls > 0) {
      ++callsOutOfOrder;
    }
    ++frames;
    lastWidth = info->width;
    lastHeight = info->height;
    projection0 = info->eyeProjection[0].m[0];
    projection5 = info->eyeProjection[0].m[5];

    info->bindTarget(0, info, kClearColour);
    glGetIntegerv(GL_VIEWPORT, viewport);
    uint8_t rgba[4] = {};
    glReadPixels(static_cast<GLint>(info->width / 2), static_cast<GLint>(info->height / 2), 1, 1,
                 GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    clearPixel = rgba[0] | (rgba[1] << 8) | (rgba[2] << 16) | (uint32_t(rgba[3]) << 24);
    // Leave a wrong viewport behind: the next bindTarget has to set it again.
    glViewport(0, 0, 7, 7);

    SDL_DisplayMode mode = {};
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0) {
      displayWidth = mode.w;
      displayHeight = mode.h;
    }
    if (FLAGS_close_after_frames > 0 && frames == FLAGS_close_after_frames) {
      RequestClose(windowId_);
    }
  }

  bool WantsQuit() override {
    return FLAGS_wants_quit_after > 0 && frames >= FLAGS_wants_quit_after;
  }

 private:
  void CountInputCall(Controls* controls, bool* vrInput) {
    if (initCalls == 0 || shutdownCalls > 0) {
      ++callsOutOfOrder;
    }
    if (controls == nullptr) {
      controlsMissing = true;
    }
    if (vrInput == nullptr || *vrInput) {
      vrInputSeen = true;
    }
  }

  uint32_t windowId_ = 0;
};

int WatchEvents(void* userData, SDL_Event* event) {
  if (event->type != SDL_WINDOWEVENT || event->window.event != SDL_WINDOWEVENT_SHOWN) {
    return 1;
  }
  auto* seen = static_cast<Observations*>(userData);
  SDL_Window* window = SDL_GetWindowFromID(event->window.windowID);
  if (window == nullptr) {
    return 1;
  }
  seen->mainThreadName = CurrentThreadName();
  seen->windowId = event->window.windowID;
  SDL_GetWindowSize(window, &seen->shownWidth, &seen->shownHeight);
  SDL_GetWindowPosition(window, &seen->shownX, &seen->shownY);
  seen->resizable = (SDL_GetWindowFlags(window) & SDL_WINDOW_RESIZABLE) != 0;
  seen->title = SDL_GetWindowTitle(window);
  if (FLAGS_close_when_shown) {
    RequestClose(event->window.windowID);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ParseCommandLine(&argc, &argv);

  // Held for the whole run, so the display can be looked at before and after the host.
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "shell_test_app: no video: %s\n", SDL_GetError());
    return 3;
  }
  SDL_DisplayMode before = {};
  SDL_GetCurrentDisplayMode(0, &before);

  Observations seen;
  SDL_AddEventWatch(&WatchEvents, &seen);
  ShellTestApplication application;
  const int result = RunApplication(&application, "Loomwork shell test",
                                    DisplayModeFromFlags(FLAGS_vr, FLAGS_monoview),
                                    FLAGS_fullscreen);
  SDL_DelEventWatch(&WatchEvents, &seen);

  SDL_DisplayMode after = {};
  SDL_GetCurrentDisplayMode(0, &after);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  SDL_Quit();

  const ShellTestApplication& a = application;
  std::printf("init_calls=%d\nframes=%d\nshutdown_calls=%d\n", a.initCalls, a.frames,
              a.shutdownCalls);
  std::printf("system_key_calls=%d\ncontrol_calls=%d\ncalls_out_of_order=%d\n",
              a.systemKeyCalls, a.controlCalls, a.callsOutOfOrder);
  std::printf("vr_input_seen=%d\ncontrols_missing=%d\n", a.vrInputSeen, a.controlsMissing);
  std::printf("client_thread=%s\nmain_thread=%s\nserver_thread=%s\n", a.clientThreadName.c_str(),
              seen.mainThreadName.c_str(), a.serverThreadName.c_str());
  std::printf("init_is_vr=%d\ninit_view_count=%d\ninit_target_is_context=%d\n", a.initIsVR,
              a.initViewCount, a.initTargetIsContext);
  std::printf("init_audio=%d\ninit_head_identity=%d\n", a.initAudioPresent, a.initHeadIdentity);
  std::printf("width=%u\nheight=%u\n", a.lastWidth, a.lastHeight);
  std::printf("projection_0=%.6f\nprojection_5=%.6f\n", a.projection0, a.projection5);
  std::printf("clear_pixel=%08x\n", a.clearPixel);
  std::printf("viewport=%d,%d,%d,%d\n", a.viewport[0], a.viewport[1], a.viewport[2],
              a.viewport[3]);
  std::printf("display_running=%dx%d\n", a.displayWidth, a.displayHeight);
  std::printf("display_before=%dx%d\ndisplay_after=%dx%d\n", before.w, before.h, after.w,
              after.h);
  std::printf("shown_size=%dx%d\nshown_position=%d,%d\nresizable=%d\ntitle=%s\n",
              seen.shownWidth, seen.shownHeight, seen.shownX, seen.shownY, seen.resizable,
              seen.title.c_str());
  std::printf("client_connection=%d\nserver_connection=%d\nsame_connection=%d\n",
              a.clientConnection != nullptr, a.serverConnection != nullptr,
              a.clientConnection == a.serverConnection);
  std::printf("server_start_flag=%d\nserver_ticks=%d\nserver_stops=%d\nserver_deletions=%d\n",
              a.serverStartFlag, a.serverTicks, a.serverStops, a.serverDeletions);
  std::printf("exit_code=%d\n", result);
  return result;
}
