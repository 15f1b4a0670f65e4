#include "app/sdl_controls.h"

#include <algorithm>

#include "base/log.h"

namespace {

// Keys identified by position: everything that is not a Latin letter, a digit or US punctuation
// on the user's layout.
int VirtualKeyFromScancode(SDL_Scancode scancode) {
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
    return 'A' + (scancode - SDL_SCANCODE_A);
  }
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
    return '1' + (scancode - SDL_SCANCODE_1);
  }
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
    return 112 + (scancode - SDL_SCANCODE_F1);
  }
  if (scancode >= SDL_SCANCODE_F13 && scancode <= SDL_SCANCODE_F24) {
    return 124 + (scancode - SDL_SCANCODE_F13);
  }
  if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9) {
    return 97 + (scancode - SDL_SCANCODE_KP_1);
  }
  switch (scancode) {
    case SDL_SCANCODE_0: return '0';
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_CLEAR: return 12;
    case SDL_SCANCODE_RETURN: return 13;
    case SDL_SCANCODE_KP_ENTER: return 13;  // Windows does not tell the two Enter keys apart
    case SDL_SCANCODE_LSHIFT: return 16;    // nor left from right Shift, Control and Alt
    case SDL_SCANCODE_RSHIFT: return 16;
    case SDL_SCANCODE_LCTRL: return 17;
    case SDL_SCANCODE_RCTRL: return 17;
    case SDL_SCANCODE_LALT: return 18;
    case SDL_SCANCODE_RALT: return 18;
    case SDL_SCANCODE_PAUSE: return 19;
    case SDL_SCANCODE_CAPSLOCK: return 20;
    case SDL_SCANCODE_ESCAPE: return 27;
    case SDL_SCANCODE_SPACE: return 32;
    case SDL_SCANCODE_PAGEUP: return 33;
    case SDL_SCANCODE_PAGEDOWN: return 34;
    case SDL_SCANCODE_END: return 35;
    case SDL_SCANCODE_HOME: return 36;
    case SDL_SCANCODE_LEFT: return 37;
    case SDL_SCANCODE_UP: return 38;
    case SDL_SCANCODE_RIGHT: return 39;
    case SDL_SCANCODE_DOWN: return 40;
    case SDL_SCANCODE_SELECT: return 41;
    case SDL_SCANCODE_EXECUTE: return 43;
    case SDL_SCANCODE_PRINTSCREEN: return 44;
    case SDL_SCANCODE_INSERT: return 45;
    case SDL_SCANCODE_DELETE: return 46;
    case SDL_SCANCODE_HELP: return 47;
    case SDL_SCANCODE_LGUI: return 91;
    case SDL_SCANCODE_RGUI: return 92;
    case SDL_SCANCODE_APPLICATION: return 93;
    case SDL_SCANCODE_SLEEP: return 95;
    case SDL_SCANCODE_KP_0: return 96;
    case SDL_SCANCODE_KP_MULTIPLY: return 106;
    case SDL_SCANCODE_KP_PLUS: return 107;
    case SDL_SCANCODE_SEPARATOR: return 108;
    case SDL_SCANCODE_KP_MINUS: return 109;
    case SDL_SCANCODE_KP_PERIOD: return 110;
    case SDL_SCANCODE_KP_DIVIDE: return 111;
    case SDL_SCANCODE_NUMLOCKCLEAR: return 144;
    case SDL_SCANCODE_SCROLLLOCK: return 145;
    case SDL_SCANCODE_AC_BACK: return 166;
    case SDL_SCANCODE_AC_FORWARD: return 167;
    case SDL_SCANCODE_AC_REFRESH: return 168;
    case SDL_SCANCODE_AC_STOP: return 169;
    case SDL_SCANCODE_AC_SEARCH: return 170;
    case SDL_SCANCODE_AC_BOOKMARKS: return 171;
    case SDL_SCANCODE_AC_HOME: return 172;
    case SDL_SCANCODE_MUTE: return 173;
    case SDL_SCANCODE_VOLUMEDOWN: return 174;
    case SDL_SCANCODE_VOLUMEUP: return 175;
    case SDL_SCANCODE_AUDIONEXT: return 176;
    case SDL_SCANCODE_AUDIOPREV: return 177;
    case SDL_SCANCODE_AUDIOSTOP: return 178;
    case SDL_SCANCODE_AUDIOPLAY: return 179;
    case SDL_SCANCODE_SEMICOLON: return 186;
    case SDL_SCANCODE_EQUALS: return 187;
    case SDL_SCANCODE_COMMA: return 188;
    case SDL_SCANCODE_MINUS: return 189;
    case SDL_SCANCODE_PERIOD: return 190;
    case SDL_SCANCODE_SLASH: return 191;
    case SDL_SCANCODE_GRAVE: return 192;
    case SDL_SCANCODE_LEFTBRACKET: return 219;
    case SDL_SCANCODE_BACKSLASH: return 220;
    case SDL_SCANCODE_RIGHTBRACKET: return 221;
    case SDL_SCANCODE_APOSTROPHE: return 222;
    case SDL_SCANCODE_NONUSBACKSLASH: return 226;
    default: return 0;
  }
}

// Punctuation keys by the character they type, as Windows names them on US-like layouts.
int VirtualKeyFromPunctuation(SDL_Keycode sym) {
  switch (sym) {
    case ';': return 186;
    case '=': return 187;
    case ',': return 188;
    case '-': return 189;
    case '.': return 190;
    case '/': return 191;
    case '`': return 192;
    case '[': return 219;
    case '\\': return 220;
    case ']': return 221;
    case '\'': return 222;
    default: return 0;
  }
}

constexpr float kAxisScale = 1.0f / 32767.0f;

StickPosition ReadStick(SDL_GameController* pad, SDL_GameControllerAxis axisX,
                        SDL_GameControllerAxis axisY) {
  // SDL's stick y grows downwards; the snapshot's grows upwards.
  const float x = float(SDL_GameControllerGetAxis(pad, axisX)) * kAxisScale;
  const float y = -float(SDL_GameControllerGetAxis(pad, axisY)) * kAxisScale;
  return ApplyStickDeadZone(x, y);
}

}  // namespace

int VirtualKeyFromSdl(const SDL_Keysym& key) {
  // Letters and digits follow the layout, as Windows virtual keys do ('A' on an AZERTY
  // keyboard is where US keyboards have Q).
  const SDL_Keycode sym = key.sym;
  if (sym >= 'a' && sym <= 'z') {
    return 'A' + (sym - 'a');
  }
  if (sym >= '0' && sym <= '9') {
    return sym;
  }
  if (const int punctuation = VirtualKeyFromPunctuation(sym); punctuation != 0) {
    return punctuation;
  }
  // A layout character that is no Latin letter (Cyrillic, accented, '&' over the 1 of
  // AZERTY) would leave the key without a code; its position names it instead, as Windows does.
  return VirtualKeyFromScancode(key.scancode);
}

SdlControls::SdlControls(SDL_Window* window) {
  if (window != nullptr) {
    SDL_GetWindowSize(window, &clientWidth, &clientHeight);
  }
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    Log(LogLevel::Warning, "Game pads are not available: %s", SDL_GetError());
    return;
  }
  padSubsystemStarted_ = true;
  // SDL also announces these with device-added events; OpenPad ignores pads already open.
  const int deviceCount = SDL_NumJoysticks();
  for (int index = 0; index < deviceCount; ++index) {
    OpenPad(index);
  }
}

SdlControls::~SdlControls() {
  {
    std::lock_guard<std::mutex> lock(padMutex_);
    for (SDL_GameController* pad : pads_) {
      SDL_GameControllerClose(pad);
    }
    pads_.clear();
  }
  if (padSubsystemStarted_) {
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }
}

int SdlControls::PadCount() const {
  std::lock_guard<std::mutex> lock(padMutex_);
  return int(pads_.size());
}

void SdlControls::OpenPad(int deviceIndex) {
  if (!padSubsystemStarted_ || !SDL_IsGameController(deviceIndex)) {
    return;
  }
  const SDL_JoystickID instanceId = SDL_JoystickGetDeviceInstanceID(deviceIndex);
  std::lock_guard<std::mutex> lock(padMutex_);
  for (SDL_GameController* pad : pads_) {
    if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) == instanceId) {
      return;
    }
  }
  SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
  if (pad == nullptr) {
    Log(LogLevel::Warning, "Cannot open game pad %d: %s", deviceIndex, SDL_GetError());
    return;
  }
  const char* name = SDL_GameControllerName(pad);
  Log(LogLevel::Info, "Game pad connected: %s", name != nullptr ? name : "(unnamed)");
  pads_.push_back(pad);
}

void SdlControls::ClosePad(SDL_JoystickID instanceId) {
  std::lock_guard<std::mutex> lock(padMutex_);
  auto found = std::find_if(pads_.begin(), pads_.end(), [instanceId](SDL_GameController* pad) {
    return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) == instanceId;
  });
  if (found == pads_.end()) {
    return;
  }
  Log(LogLevel::Info, "Game pad disconnected");
  SDL_GameControllerClose(*found);
  pads_.erase(found);
}

void SdlControls::StorePointer(int32_t x, int32_t y) {
  rawPointer_.store(uint64_t(uint32_t(x)) | (uint64_t(uint32_t(y)) << 32),
                    std::memory_order_relaxed);
}

void SdlControls::HandleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      // Auto-repeat only confirms what the first key-down already recorded.
      if (event.key.repeat != 0) {
        return;
      }
      const int code = VirtualKeyFromSdl(event.key.keysym);
      if (code <= 0 || code >= 256) {
        return;
      }
      InputEvent key;
      key.down = event.type == SDL_KEYDOWN;
      key.code = uint32_t(code);
      events_.Push(key);
      return;
    }
    case SDL_MOUSEMOTION:
      StorePointer(event.motion.x, event.motion.y);
      return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      StorePointer(event.button.x, event.button.y);
      uint32_t bit = 0;
      if (event.button.button == SDL_BUTTON_LEFT) {
        bit = kMouseLeft;
      } else if (event.button.button == SDL_BUTTON_RIGHT) {
        bit = kMouseRight;
      } else if (event.button.button == SDL_BUTTON_MIDDLE) {
        bit = kMouseMiddle;
      }
      if (bit != 0) {
        InputEvent button;
        button.kind = InputEvent::Kind::MouseButton;
        button.down = event.type == SDL_MOUSEBUTTONDOWN;
        button.code = bit;
        button.x = event.button.x;
        button.y = event.button.y;
        events_.Push(button);
      }
      return;
    }
    case SDL_MOUSEWHEEL:
      // preciseY carries the fractions of a notch that high-resolution wheels report.
      rawWheel_.fetch_add(event.wheel.preciseY, std::memory_order_relaxed);
      return;
    case SDL_CONTROLLERDEVICEADDED:
      OpenPad(event.cdevice.which);  // a device index
      return;
    case SDL_CONTROLLERDEVICEREMOVED:
      ClosePad(event.cdevice.which);  // an instance id
      return;
    default:
      return;
  }
}

void SdlControls::ReadPad(SDL_GameController* pad) {
  const StickPosition left = ReadStick(pad, SDL_CONTROLLER_AXIS_LEFTX, SDL_CONTROLLER_AXIS_LEFTY);
  const StickPosition right =
      ReadStick(pad, SDL_CONTROLLER_AXIS_RIGHTX, SDL_CONTROLLER_AXIS_RIGHTY);
  padLeftStick[0] = left.x;
  padLeftStick[1] = left.y;
  padRightStick[0] = right.x;
  padRightStick[1] = right.y;
  // SDL's triggers run from 0 to 32767.
  padLeftTrigger = ApplyTriggerThreshold(
      float(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT)) * kAxisScale);
  padRightTrigger = ApplyTriggerThreshold(
      float(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT)) * kAxisScale);

  static constexpr struct {
    SDL_GameControllerButton button;
    uint32_t bit;
  } kButtons[] = {
      {SDL_CONTROLLER_BUTTON_A, kPadA},
      {SDL_CONTROLLER_BUTTON_B, kPadB},
      {SDL_CONTROLLER_BUTTON_X, kPadX},
      {SDL_CONTROLLER_BUTTON_Y, kPadY},
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadDpadLeft},
      {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadDpadUp},
      {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadDpadRight},
      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDpadDown},
  };
  uint32_t buttons = PadStickBits(left, right);
  for (const auto& entry : kButtons) {
    if (SDL_GameControllerGetButton(pad, entry.button) != 0) {
      buttons |= entry.bit;
    }
  }
  const uint32_t old = padButtons;
  padPressed = buttons & ~old;
  padReleased = old & ~buttons;
  padButtons = buttons;
}

void SdlControls::Update() {
  int32_t eventX = 0, eventY = 0;
  const bool placedByEvent = events_.Deliver(*this, &eventX, &eventY);

  {
    // With several pads, each overwrites the pad fields in turn: the last one opened wins.
    // A pad SDL no longer reports attached is skipped until its removal event closes it.
    std::lock_guard<std::mutex> lock(padMutex_);
    for (SDL_GameController* pad : pads_) {
      if (SDL_GameControllerGetAttached(pad)) {
        ReadPad(pad);
      }
    }
  }

  if (placedByEvent) {
    mouseX = eventX;
    mouseY = eventY;
  } else {
    const uint64_t pointer = rawPointer_.load(std::memory_order_relaxed);
    mouseX = int32_t(uint32_t(pointer));
    mouseY = int32_t(uint32_t(pointer >> 32));
  }

  wheel = rawWheel_.exchange(0.0f, std::memory_order_relaxed);
}
