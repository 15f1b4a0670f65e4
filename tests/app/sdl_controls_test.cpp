#include "app/sdl_controls.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kVirtualKeyW = 87;
constexpr int kVirtualKeyF5 = 116;

SDL_Event KeyEvent(uint32_t type, SDL_Keycode sym, SDL_Scancode scancode, bool repeat = false) {
  SDL_Event event = {};
  event.type = type;
  event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.key.repeat = repeat ? 1 : 0;
  event.key.keysym.sym = sym;
  event.key.keysym.scancode = scancode;
  return event;
}

SDL_Event ButtonEvent(uint32_t type, uint8_t button, int32_t x, int32_t y) {
  SDL_Event event = {};
  event.type = type;
  event.button.button = button;
  event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  event.button.x = x;
  event.button.y = y;
  return event;
}

SDL_Event MotionEvent(int32_t x, int32_t y) {
  SDL_Event event = {};
  event.type = SDL_MOUSEMOTION;
  event.motion.x = x;
  event.motion.y = y;
  return event;
}

// A wheel step as SDL reports it: whole notches in y, the exact amount in preciseY.
SDL_Event WheelEvent(float notches) {
  SDL_Event event = {};
  event.type = SDL_MOUSEWHEEL;
  event.wheel.y = int32_t(notches);
  event.wheel.preciseY = notches;
  event.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
  return event;
}

// Input travels the way it does in the program: pushed onto SDL's event queue, pumped on this
// thread into HandleEvent, then sampled by Update.
class SdlControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError();
    controls_ = std::make_unique<SdlControls>(nullptr);
    Pump();
  }

  void TearDown() override {
    controls_.reset();
    SDL_Quit();
  }

  void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

  void Pump() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
      controls_->HandleEvent(event);
    }
  }

  void Frame() {
    Pump();
    controls_->Update();
  }

  std::unique_ptr<SdlControls> controls_;
};

TEST_F(SdlControlsTest, StartsZeroed) {
  Frame();
  EXPECT_EQ(controls_->clientWidth, 0);
  EXPECT_EQ(controls_->clientHeight, 0);
  EXPECT_EQ(controls_->mouseButtons, 0u);
  EXPECT_EQ(controls_->wheel, 0.0f);
  EXPECT_EQ(controls_->padButtons, 0u);
  for (int code = 0; code < Controls::kKeyCount; ++code) {
    EXPECT_EQ(controls_->keyDown[code], 0) << "key " << code;
  }
}

// However slow the frames, a tap is a press in one frame and a release in the next, in the order
// typed; another key's events wait behind it rather than overtake.
TEST_F(SdlControlsTest, KeysTappedBetweenUpdatesArePressedForOneFrameEach) {
  Frame();
  Push(KeyEvent(SDL_KEYDOWN, SDLK_w, SDL_SCANCODE_W));
  Push(KeyEvent(SDL_KEYUP, SDLK_w, SDL_SCANCODE_W));
  Push(KeyEvent(SDL_KEYDOWN, SDLK_w, SDL_SCANCODE_W));
  Push(KeyEvent(SDL_KEYUP, SDLK_w, SDL_SCANCODE_W));
  Push(KeyEvent(SDL_KEYDOWN, SDLK_F5, SDL_SCANCODE_F5));
  Push(KeyEvent(SDL_KEYUP, SDLK_F5, SDL_SCANCODE_F5));
  struct Expected {
    uint8_t wDown, wPressed, wReleased, f5Down;
  };
  const Expected frames[] = {{1, 1, 0, 0}, {0, 0, 1, 0}, {1, 1, 0, 0}, {0, 0, 1, 1}, {0, 0, 0, 0}};
  for (size_t f = 0; f < std::size(frames); ++f) {
    SCOPED_TRACE("frame " + std::to_string(f));
    Frame();
    EXPECT_EQ(controls_->keyDown[kVirtualKeyW], frames[f].wDown);
    EXPECT_EQ(controls_->keyPressed[kVirtualKeyW], frames[f].wPressed);
    EXPECT_EQ(controls_->keyReleased[kVirtualKeyW], frames[f].wReleased);
    EXPECT_EQ(controls_->keyDown[kVirtualKeyF5], frames[f].f5Down);
  }
}

TEST_F(SdlControlsTest, HeldKeyGivesOnePressedAndOneReleasedFrame) {
  Push(KeyEvent(SDL_KEYDOWN, SDLK_w, SDL_SCANCODE_W));
  Frame();
  EXPECT_EQ(controls_->keyDown[kVirtualKeyW], 1);
  EXPECT_EQ(controls_->keyPressed[kVirtualKeyW], 1);
  EXPECT_EQ(controls_->keyReleased[kVirtualKeyW], 0);

  // Auto-repeat while held: still down, no new edge.
  for (int frame = 0; frame < 3; ++frame) {
    Push(KeyEvent(SDL_KEYDOWN, SDLK_w, SDL_SCANCODE_W, /*repeat=*/true));
    Frame();
    EXPECT_EQ(controls_->keyDown[kVirtualKeyW], 1) << "frame " << frame;
    EXPECT_EQ(controls_->keyPressed[kVirtualKeyW], 0) << "frame " << frame;
    EXPECT_EQ(controls_->keyReleased[kVirtualKeyW], 0) << "frame " << frame;
  }

  Push(KeyEvent(SDL_KEYUP, SDLK_w, SDL_SCANCODE_W));
  Frame();
  EXPECT_EQ(controls_->keyDown[kVirtualKeyW], 0);
  EXPECT_EQ(controls_->keyPressed[kVirtualKeyW], 0);
  EXPECT_EQ(controls_->keyReleased[kVirtualKeyW], 1);

  Frame();
  EXPECT_EQ(controls_->keyReleased[kVirtualKeyW], 0);
}

TEST_F(SdlControlsTest, RepeatAfterReleaseDoesNotPressAgain) {
  Push(KeyEvent(SDL_KEYDOWN, SDLK_F5, SDL_SCANCODE_F5));
  Push(KeyEvent(SDL_KEYUP, SDLK_F5, SDL_SCANCODE_F5));
  Push(KeyEvent(SDL_KEYDOWN, SDLK_F5, SDL_SCANCODE_F5, /*repeat=*/true));
  Frame();
  Frame();
  EXPECT_EQ(controls_->keyDown[kVirtualKeyF5], 0);
  Frame();
  EXPECT_EQ(controls_->keyDown[kVirtualKeyF5], 0);
  EXPECT_EQ(controls_->keyPressed[kVirtualKeyF5], 0);
}

TEST_F(SdlControlsTest, KeysLandUnderTheirVirtualKeyCodes) {
  Push(KeyEvent(SDL_KEYDOWN, SDLK_F5, SDL_SCANCODE_F5));
  Push(KeyEvent(SDL_KEYDOWN, SDLK_w, SDL_SCANCODE_W));
  Frame();
  for (int code = 0; code < Controls::kKeyCount; ++code) {
    const bool expected = code == kVirtualKeyF5 || code == kVirtualKeyW;
    EXPECT_EQ(controls_->keyDown[code], expected ? 1 : 0) << "key " << code;
  }
}

TEST_F(SdlControlsTest, PunctuationIsSeenAndUnknownKeysAreIgnored) {
  Push(KeyEvent(SDL_KEYDOWN, SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON));  // code 186
  Push(KeyEvent(SDL_KEYDOWN, SDLK_LEFTBRACKET, SDL_SCANCODE_LEFTBRACKET));  // 219: brush size
  Push(KeyEvent(SDL_KEYDOWN, SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN));
  Push(KeyEvent(SDL_KEYDOWN, SDLK_UNKNOWN, SDL_Scancode(SDL_NUM_SCANCODES + 7)));
  Frame();
  for (int code = 0; code < Controls::kKeyCount; ++code) {
    EXPECT_EQ(controls_->keyDown[code], code == 186 || code == 219 ? 1 : 0) << "key " << code;
  }
}

TEST(VirtualKeyTest, MapsSdlKeysToWindowsCodes) {
  const struct {
    SDL_Keycode sym;
    SDL_Scancode scancode;
    int expected;
    const char* what;
  } cases[] = {
      {SDLK_w, SDL_SCANCODE_W, 87, "W"},
      {SDLK_a, SDL_SCANCODE_A, 65, "A"},
      {SDLK_z, SDL_SCANCODE_Z, 90, "Z"},
      {SDLK_0, SDL_SCANCODE_0, 48, "0"},
      {SDLK_9, SDL_SCANCODE_9, 57, "9"},
      {SDLK_F1, SDL_SCANCODE_F1, 112, "F1"},
      {SDLK_F5, SDL_SCANCODE_F5, 116, "F5"},
      {SDLK_F12, SDL_SCANCODE_F12, 123, "F12"},
      {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 27, "Escape"},
      {SDLK_RETURN, SDL_SCANCODE_RETURN, 13, "Enter"},
      {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 13, "numpad Enter"},
      {SDLK_SPACE, SDL_SCANCODE_SPACE, 32, "Space"},
      {SDLK_TAB, SDL_SCANCODE_TAB, 9, "Tab"},
      {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 8, "Backspace"},
      {SDLK_LEFT, SDL_SCANCODE_LEFT, 37, "Left"},
      {SDLK_UP, SDL_SCANCODE_UP, 38, "Up"},
      {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 39, "Right"},
      {SDLK_DOWN, SDL_SCANCODE_DOWN, 40, "Down"},
      {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 16, "left Shift"},
      {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 16, "right Shift"},
      {SDLK_LCTRL, SDL_SCANCODE_LCTRL, 17, "left Control"},
      {SDLK_RALT, SDL_SCANCODE_RALT, 18, "right Alt"},
      {SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 33, "Page Up"},
      {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, 34, "Page Down"},
      {SDLK_END, SDL_SCANCODE_END, 35, "End"},
      {SDLK_HOME, SDL_SCANCODE_HOME, 36, "Home"},
      {SDLK_INSERT, SDL_SCANCODE_INSERT, 45, "Insert"},
      {SDLK_DELETE, SDL_SCANCODE_DELETE, 46, "Delete"},
      {SDLK_KP_0, SDL_SCANCODE_KP_0, 96, "numpad 0"},
      {SDLK_KP_9, SDL_SCANCODE_KP_9, 105, "numpad 9"},
      {SDLK_MINUS, SDL_SCANCODE_MINUS, 189, "minus"},
      // Letters follow the layout, like Windows virtual keys: AZERTY has A where US has Q.
      {SDLK_a, SDL_SCANCODE_Q, 65, "AZERTY A"},
      {SDLK_COMMA, SDL_SCANCODE_M, 188, "AZERTY comma"},
      // Characters that are no Latin letter or digit fall back to the key's position.
      {SDLK_AMPERSAND, SDL_SCANCODE_1, 49, "AZERTY 1"},
      {0x446, SDL_SCANCODE_W, 87, "Cyrillic W"},
      {SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, 0, "unknown"},
  };
  for (const auto& c : cases) {
    SDL_Keysym key = {};
    key.sym = c.sym;
    key.scancode = c.scancode;
    EXPECT_EQ(VirtualKeyFromSdl(key), c.expected) << c.what;
  }
}

TEST_F(SdlControlsTest, MouseButtonsEdgesAndPointer) {
  Push(MotionEvent(100, 50));
  Frame();
  EXPECT_EQ(controls_->mouseX, 100);
  EXPECT_EQ(controls_->mouseY, 50);
  EXPECT_EQ(controls_->mouseButtons, 0u);

  // Pressed away from where the last frame saw the pointer: one frame shows it there first.
  Push(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20));
  Frame();
  EXPECT_EQ(controls_->mouseButtons, 0u);
  EXPECT_EQ(controls_->mouseX, 10);
  EXPECT_EQ(controls_->mouseY, 20);
  Frame();
  EXPECT_EQ(controls_->mouseButtons, Controls::kMouseLeft);
  EXPECT_EQ(controls_->mousePressed, Controls::kMouseLeft);
  EXPECT_EQ(controls_->mouseReleased, 0u);
  EXPECT_EQ(controls_->mouseX, 10);
  EXPECT_EQ(controls_->mouseY, 20);

  // The middle and right buttons join the held left one (the desktop camera pans and orbits
  // with them).
  constexpr uint32_t kLeftMiddleRight =
      Controls::kMouseLeft | Controls::kMouseMiddle | Controls::kMouseRight;
  Push(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 10, 20));
  Push(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 10, 20));
  Frame();
  EXPECT_EQ(controls_->mouseButtons, kLeftMiddleRight);
  EXPECT_EQ(controls_->mousePressed, Controls::kMouseMiddle | Controls::kMouseRight);
  EXPECT_EQ(controls_->mouseReleased, 0u);

  Push(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, -5, 30));  // released outside the window
  Push(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_MIDDLE, -5, 30));
  // Let go away from where the last frame saw the pointer: one frame still holds the buttons
  // there, so a drag reaches the point of release.
  Frame();
  EXPECT_EQ(controls_->mouseButtons, kLeftMiddleRight);
  EXPECT_EQ(controls_->mouseReleased, 0u);
  EXPECT_EQ(controls_->mouseX, -5);
  EXPECT_EQ(controls_->mouseY, 30);
  Frame();
  EXPECT_EQ(controls_->mouseButtons, Controls::kMouseRight);
  EXPECT_EQ(controls_->mousePressed, 0u);
  EXPECT_EQ(controls_->mouseReleased, Controls::kMouseLeft | Controls::kMouseMiddle);
  EXPECT_EQ(controls_->mouseX, -5);
  EXPECT_EQ(controls_->mouseY, 30);

  Frame();
  EXPECT_EQ(controls_->mouseButtons, Controls::kMouseRight);
  EXPECT_EQ(controls_->mousePressed, 0u);
  EXPECT_EQ(controls_->mouseReleased, 0u);

  // Clicked and let go between two frames, with the pointer moving on: shown where the click was
  // made, pressed in the next frame and released in the one after, all there.
  Push(ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 7, 8));
  Push(ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 7, 8));
  Push(MotionEvent(300, 200));
  Frame();
  EXPECT_EQ(controls_->mousePressed, 0u);
  EXPECT_EQ(controls_->mouseX, 7);
  Frame();
  EXPECT_EQ(controls_->mousePressed, Controls::kMouseLeft);
  EXPECT_EQ(controls_->mouseX, 7);
  EXPECT_EQ(controls_->mouseY, 8);
  Frame();
  EXPECT_EQ(controls_->mouseReleased, Controls::kMouseLeft);
  EXPECT_EQ(controls_->mouseButtons, Controls::kMouseRight);
  EXPECT_EQ(controls_->mouseX, 7);
  Frame();
  EXPECT_EQ(controls_->mouseReleased, 0u);
  EXPECT_EQ(controls_->mouseX, 300);
}

TEST_F(SdlControlsTest, WheelCountsNotchesSinceTheLastUpdate) {
  const struct {
    std::vector<float> steps;
    float expected;
    const char* what;
  } cases[] = {
      {{1.0f}, 1.0f, "one notch away from the user"},
      {{-1.0f}, -1.0f, "one notch towards the user"},
      {{0.5f}, 0.5f, "a high-resolution half notch"},
      {{1.0f, 1.0f}, 2.0f, "two notches"},
      {{1.0f, -1.0f, 0.25f}, 0.25f, "back and forth"},
  };
  for (const auto& c : cases) {
    for (float step : c.steps) {
      Push(WheelEvent(step));
    }
    Frame();
    EXPECT_FLOAT_EQ(controls_->wheel, c.expected) << c.what;
    Frame();
    EXPECT_EQ(controls_->wheel, 0.0f) << c.what << ", next frame";
  }
}

// The main thread keeps turning the wheel while the application thread updates: every step
// shows up in exactly one frame.
TEST_F(SdlControlsTest, WheelStepsAreNeitherLostNorCountedTwiceAcrossThreads) {
  constexpr int kSteps = 4000;
  std::atomic<bool> pumping{true};
  float total = 0.0f;
  std::thread application([&] {
    while (pumping.load()) {
      controls_->Update();
      total += controls_->wheel;
    }
  });
  for (int step = 0; step < kSteps; ++step) {
    Push(WheelEvent(1.0f));
    Pump();
  }
  pumping.store(false);
  application.join();
  controls_->Update();
  total += controls_->wheel;
  EXPECT_EQ(total, float(kSteps));
}

TEST(SdlControlsWindowTest, RecordsTheClientSize) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') {
    GTEST_SKIP() << "needs a display (run under xvfb-run)";
  }
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_Window* window = SDL_CreateWindow("Loomwork input test", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED, 320, 200, SDL_WINDOW_HIDDEN);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  {
    SdlControls controls(window);
    EXPECT_EQ(controls.clientWidth, 320);
    EXPECT_EQ(controls.clientHeight, 200);
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
}

// Game pads: SDL's virtual game controllers go through the same controller API and events as
// real ones.
class SdlControlsPadTest : public SdlControlsTest {
 protected:
  // A pad with every standard axis and button. Returns its joystick, open for setting values.
  SDL_Joystick* AttachPad() {
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER,
                                                SDL_CONTROLLER_AXIS_MAX,
                                                SDL_CONTROLLER_BUTTON_MAX, 0);
    if (index < 0) {
      ADD_FAILURE() << "Cannot attach a virtual game controller: " << SDL_GetError();
      return nullptr;
    }
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    EXPECT_NE(joystick, nullptr) << SDL_GetError();
    return joystick;
  }

  void DetachPad(SDL_Joystick* joystick) {
    const SDL_JoystickID instance = SDL_JoystickInstanceID(joystick);
    SDL_JoystickClose(joystick);
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
      if (SDL_JoystickGetDeviceInstanceID(index) == instance) {
        SDL_JoystickDetachVirtual(index);
        return;
      }
    }
    ADD_FAILURE() << "Virtual game controller " << instance << " not found";
  }

  static void SetAxis(SDL_Joystick* joystick, SDL_GameControllerAxis axis, int value) {
    SDL_JoystickSetVirtualAxis(joystick, axis, int16_t(value));
  }

  // Virtual devices report triggers over the full axis range, which SDL maps onto 0..32767 as
  // real trigger axes read.
  static void SetTrigger(SDL_Joystick* joystick, SDL_GameControllerAxis axis, int value) {
    SetAxis(joystick, axis, int(std::lround(value * 65535.0 / 32767.0)) - 32768);
  }

  static void SetButton(SDL_Joystick* joystick, SDL_GameControllerButton button, bool down) {
    SDL_JoystickSetVirtualButton(joystick, button, down ? 1 : 0);
  }
};

TEST_F(SdlControlsPadTest, ReadsSticksTriggersAndButtons) {
  SDL_Joystick* pad = AttachPad();
  ASSERT_NE(pad, nullptr);
  Frame();
  ASSERT_EQ(controls_->PadCount(), 1);

  SetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 19660);    // 0.6
  SetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, 0);
  SetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX, 0);
  SetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, -32768);  // pushed fully up
  SetTrigger(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT, 3932);  // 0.12: resting
  SetTrigger(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
  SetButton(pad, SDL_CONTROLLER_BUTTON_A, true);
  SetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP, true);
  SetButton(pad, SDL_CONTROLLER_BUTTON_START, true);  // has no bit
  Frame();
  EXPECT_NEAR(controls_->padLeftStick[0], 0.6f, 1e-4f);
  EXPECT_EQ(controls_->padLeftStick[1], 0.0f);
  EXPECT_EQ(controls_->padRightStick[0], 0.0f);
  EXPECT_NEAR(controls_->padRightStick[1], 1.0f, 1e-6f);
  EXPECT_EQ(controls_->padLeftTrigger, 0.0f);
  EXPECT_NEAR(controls_->padRightTrigger, 1.0f, 1e-6f);
  const uint32_t held = Controls::kPadA | Controls::kPadDpadUp | Controls::kPadRightStickUp;
  EXPECT_EQ(controls_->padButtons, held);
  EXPECT_EQ(controls_->padPressed, held);
  EXPECT_EQ(controls_->padReleased, 0u);

  // Inside the dead zone the stick reads centred and its direction bit goes.
  SetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, -9830);  // 0.3 up
  SetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX, 9830);   // 0.3 right: length 0.42
  SetButton(pad, SDL_CONTROLLER_BUTTON_A, false);
  SetButton(pad, SDL_CONTROLLER_BUTTON_Y, true);
  Frame();
  EXPECT_EQ(controls_->padRightStick[0], 0.0f);
  EXPECT_EQ(controls_->padRightStick[1], 0.0f);
  EXPECT_EQ(controls_->padButtons, Controls::kPadY | Controls::kPadDpadUp);
  EXPECT_EQ(controls_->padPressed, Controls::kPadY);
  EXPECT_EQ(controls_->padReleased, Controls::kPadA | Controls::kPadRightStickUp);

  // Unplugged: the pad is closed and the pad fields keep their last values.
  DetachPad(pad);
  Frame();
  EXPECT_EQ(controls_->PadCount(), 0);
  EXPECT_NEAR(controls_->padLeftStick[0], 0.6f, 1e-4f);
  EXPECT_NEAR(controls_->padRightTrigger, 1.0f, 1e-6f);
  EXPECT_EQ(controls_->padButtons, Controls::kPadY | Controls::kPadDpadUp);
}

TEST_F(SdlControlsPadTest, PadsPresentAtStartAreOpenedOnce) {
  SDL_Joystick* pad = AttachPad();
  ASSERT_NE(pad, nullptr);
  // New controls find the pad themselves and then receive its device-added event as well.
  controls_ = std::make_unique<SdlControls>(nullptr);
  Frame();
  EXPECT_EQ(controls_->PadCount(), 1);
  DetachPad(pad);
  Frame();
  EXPECT_EQ(controls_->PadCount(), 0);
}

TEST_F(SdlControlsPadTest, LastPadInOrderIsWhatTheApplicationSees) {
  SDL_Joystick* first = AttachPad();
  ASSERT_NE(first, nullptr);
  Frame();
  SDL_Joystick* second = AttachPad();
  ASSERT_NE(second, nullptr);
  SetAxis(first, SDL_CONTROLLER_AXIS_LEFTX, -32767);
  SetButton(first, SDL_CONTROLLER_BUTTON_B, true);
  SetAxis(second, SDL_CONTROLLER_AXIS_LEFTX, 32767);
  SetButton(second, SDL_CONTROLLER_BUTTON_X, true);
  Frame();
  ASSERT_EQ(controls_->PadCount(), 2);
  EXPECT_NEAR(controls_->padLeftStick[0], 1.0f, 1e-6f);
  EXPECT_EQ(controls_->padButtons, Controls::kPadX | Controls::kPadLeftStickRight);
  DetachPad(second);
  DetachPad(first);
  Frame();
  EXPECT_EQ(controls_->PadCount(), 0);
}

}  // namespace
