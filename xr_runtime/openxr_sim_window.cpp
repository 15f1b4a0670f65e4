// The OpenXR simulated headset's companion window: without a timeline, the runtime opens a small
// X window of its own (its own connection, so the application's is never touched) that shows
// both eyes and lets the mouse and keyboard drive the controllers, as the in-process headset's
// companion window does:
//
//   mouse over the window   right hand position and direction (sim_headset/sim_pointer_mapping.h)
//   left mouse button       right trigger
//   arrow keys              right D-pad (the trackpad's edges)
//   Space                   right menu button
//   M or Tab                left menu button
//   R / F                   brush reach out / in (sim_headset/sim_pointer_mapping.h: NextReach)
//   closing the window      ends the session, as the timeline's quit does
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "sim_headset/desktop_input.h"
#include "sim_headset/sim_devices.h"
#include "sim_headset/sim_pointer_mapping.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

constexpr int kWindowWidth = 640, kWindowHeight = 360;  // two eyes side by side
constexpr uint64_t kShowEvery = 3;                      // frames between picture updates

struct KeyBinding {
  KeySym key;
  bool rightHand;
  EVRButtonId button;
};
constexpr KeyBinding kBindings[] = {
    {XK_Left, true, k_EButton_DPad_Left},    {XK_Up, true, k_EButton_DPad_Up},
    {XK_Right, true, k_EButton_DPad_Right},  {XK_Down, true, k_EButton_DPad_Down},
    {XK_space, true, k_EButton_ApplicationMenu}, {XK_m, false, k_EButton_ApplicationMenu},
    {XK_Tab, false, k_EButton_ApplicationMenu},
};

HmdMatrix34_t EyeToHead(float offset) {
  HmdMatrix34_t m = sim::IdentityMatrix34();
  m.m[0][3] = offset;
  return m;
}

}  // namespace

class CompanionWindow {
 public:
  static std::unique_ptr<CompanionWindow> Open() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
      Log(LogLevel::Warning, "OpenXR simulated headset: no X display for the companion window; "
                             "the controllers stay where they start");
      return nullptr;
    }
    return std::unique_ptr<CompanionWindow>(new CompanionWindow(display));
  }

  ~CompanionWindow() {
    if (image_ != nullptr) XDestroyImage(image_);  // frees pixels_ too
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }

  // Events, then the mouse and keyboard into the rig. False once the window was closed.
  bool Drive(const Instance* instance, Rig* rig) {
    bool open = true;
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == deleteAtom_) {
        open = false;
      } else if (event.type == KeyPress || event.type == KeyRelease) {
        const KeySym key = XLookupKeysym(&event.xkey, 0);
        const bool down = event.type == KeyPress;
        for (const KeyBinding& b : kBindings) {
          if (b.key == key) {
            uint64_t& buttons = b.rightHand ? input_.rightButtons : input_.leftButtons;
            buttons = down ? buttons | ButtonMaskFromId(b.button)
                           : buttons & ~ButtonMaskFromId(b.button);
          }
        }
        if (key == XK_r) reachSteps_[0] = down;
        if (key == XK_f) reachSteps_[1] = down;
      }
    }
    input_.reachSteps = int(reachSteps_[0]) - int(reachSteps_[1]);
    const int64_t now = NowNs();
    reach_ = sim::NextReach(reach_, input_.reachSteps, float(double(now - lastDriveNs_) * 1e-9),
                            sim::ToMatrix34(rig->pose[0]), sim::ToMatrix34(rig->pose[1]));
    lastDriveNs_ = now;
    Window root, child;
    int rootX, rootY, x, y;
    unsigned int mask = 0;
    if (XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &mask) &&
        x >= 0 && y >= 0 && x < kWindowWidth && y < kWindowHeight) {
      sim::DesktopPointer pointer;
      pointer.x = float(x) + 0.5f;  // the pixel's centre
      pointer.y = float(y) + 0.5f;
      pointer.windowWidth = kWindowWidth;
      pointer.windowHeight = kWindowHeight;
      const float aspect = float(instance->options.eyeWidth) / float(instance->options.eyeHeight);
      const HmdMatrix44_t projection = sim::PerspectiveMatrix(
          sim::kHorizontalFovDegrees, aspect, 0.1f, 100.0f);
      const sim::EyeOptics eyes[2] = {
          {projection, EyeToHead(-sim::kEyeOffset)},
          {projection, EyeToHead(sim::kEyeOffset)}};
      sim::HandPlacement placement;
      if (sim::RightHandFromPointer(pointer, sim::ToMatrix34(rig->pose[0]), eyes, reach_,
                                    sim::ToMatrix34(rig->pose[1]), &placement)) {
        rig->pose[2] = sim::FromMatrix34(placement.pose);
      }
      rig->trigger[1] = (mask & Button1Mask) != 0 ? 1.0f : 0.0f;
    } else {
      rig->trigger[1] = 0.0f;
    }
    rig->pressed[0] = input_.leftButtons;
    rig->pressed[1] = input_.rightButtons;
    return open;
  }

  // Shows an eye's image (RGBA, top row first) in its half of the window, every few frames.
  void Show(int eye, uint64_t frame, int width, int height, const std::vector<uint8_t>& rgba) {
    if (frame % kShowEvery != 0 || width <= 0 || height <= 0 || image_ == nullptr) return;
    const int half = kWindowWidth / 2;
    for (int y = 0; y < kWindowHeight; ++y) {
      const int sy = y * height / kWindowHeight;
      for (int x = 0; x < half; ++x) {
        const uint8_t* p = rgba.data() + (size_t(sy) * width + size_t(x * width / half)) * 4;
        XPutPixel(image_, eye * half + x, y,
                  (unsigned long)(p[0]) << 16 | (unsigned long)(p[1]) << 8 | p[2]);
      }
    }
    XPutImage(display_, window_, DefaultGC(display_, screen_), image_, eye * half, 0, eye * half,
              0, half, kWindowHeight);
    XFlush(display_);
  }

  bool WantsPicture(uint64_t frame) const { return frame % kShowEvery == 0 && image_ != nullptr; }

 private:
  explicit CompanionWindow(Display* display) : display_(display) {
    screen_ = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen_), 0, 0, kWindowWidth,
                                  kWindowHeight, 0, BlackPixel(display_, screen_),
                                  BlackPixel(display_, screen_));
    XStoreName(display_, window_, "loomwork-xr-sim");
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &deleteAtom_, 1);
    XMapWindow(display_, window_);
    Visual* visual = DefaultVisual(display_, screen_);
    if (DefaultDepth(display_, screen_) >= 24 && visual->red_mask == 0xff0000) {
      char* pixels = static_cast<char*>(calloc(size_t(kWindowWidth) * kWindowHeight, 4));
      image_ = XCreateImage(display_, visual, DefaultDepth(display_, screen_), ZPixmap, 0, pixels,
                            kWindowWidth, kWindowHeight, 32, 0);
      if (image_ == nullptr) free(pixels);
    }
    XFlush(display_);
    Log(LogLevel::Info,
        "OpenXR simulated headset: the mouse over the loomwork-xr-sim window moves the right "
        "hand (left button: trigger; R/F: reach; arrows: D-pad; Space: right menu; M or Tab: "
        "left menu)");
  }

  Display* display_ = nullptr;
  int screen_ = 0;
  Window window_ = 0;
  Atom deleteAtom_ = 0;
  XImage* image_ = nullptr;
  sim::DesktopInput input_;
  bool reachSteps_[2] = {false, false};
  float reach_ = sim::kDefaultReach;
  int64_t lastDriveNs_ = 0;
};

Session::Session() : Object(Kind::Session) {}
Session::~Session() = default;

void OpenCompanionWindow(Session* session) {
  if (session->instance->timeline.commands.empty() &&
      session->instance->options.timelinePath.empty()) {
    session->window = CompanionWindow::Open();
  }
}

void DriveFromWindow(Session* session) {
  if (session->window != nullptr && !session->window->Drive(session->instance, &session->rig)) {
    session->window.reset();
    StopSession(session, "the companion window was closed");
  }
}

bool WindowWantsPicture(const Session* session) {
  return session->window != nullptr && session->window->WantsPicture(session->frameIndex);
}

void ShowInWindow(Session* session, int eye, int width, int height,
                  const std::vector<uint8_t>& rgba) {
  if (session->window != nullptr) {
    session->window->Show(eye, session->frameIndex, width, height, rgba);
  }
}

}  // namespace vr::xrsim
