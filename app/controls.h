#pragma once
// Controls: the per-frame snapshot of desktop input (keyboard, mouse, game pad) that the hosts
// hand to the application. A platform implementation fills it in Update, once per frame on the
// application thread; the application only reads it. VR controllers come through the VR host.
#include <cstdint>

class Controls {
 public:
  // Keys are indexed by Windows virtual-key code (punctuation such as '[' is 219).
  static constexpr int kKeyCount = 256;

  // Game-pad button bits of padButtons, padPressed and padReleased.
  static constexpr uint32_t kPadA = 0x1;
  static constexpr uint32_t kPadB = 0x2;
  static constexpr uint32_t kPadX = 0x4;
  static constexpr uint32_t kPadY = 0x8;
  static constexpr uint32_t kPadDpadLeft = 0x10;
  static constexpr uint32_t kPadDpadUp = 0x20;
  static constexpr uint32_t kPadDpadRight = 0x40;
  static constexpr uint32_t kPadDpadDown = 0x80;
  // Stick directions: a stick coordinate beyond kPadStickButtonThreshold after the dead zone.
  static constexpr uint32_t kPadLeftStickLeft = 0x10000;
  static constexpr uint32_t kPadLeftStickDown = 0x20000;
  static constexpr uint32_t kPadLeftStickRight = 0x40000;
  static constexpr uint32_t kPadLeftStickUp = 0x80000;
  static constexpr uint32_t kPadRightStickLeft = 0x100000;
  static constexpr uint32_t kPadRightStickDown = 0x200000;
  static constexpr uint32_t kPadRightStickRight = 0x400000;
  static constexpr uint32_t kPadRightStickUp = 0x800000;
  static constexpr float kPadStickButtonThreshold = 0.8f;

  // Mouse button bits of mouseButtons, mousePressed and mouseReleased.
  static constexpr uint32_t kMouseLeft = 1u << 1;
  static constexpr uint32_t kMouseRight = 1u << 2;
  static constexpr uint32_t kMouseMiddle = 1u << 4;

  virtual ~Controls() = default;
  virtual void Update() {}

  float padLeftStick[2] = {};   // x right, y up; after the dead zone
  float padRightStick[2] = {};
  float padLeftTrigger = 0;     // 0..1 after the trigger threshold
  float padRightTrigger = 0;
  uint32_t padButtons = 0;      // held now
  uint32_t padPressed = 0;      // set at this Update
  uint32_t padReleased = 0;     // cleared at this Update
  uint8_t keyDown[kKeyCount] = {};
  uint8_t keyPressed[kKeyCount] = {};
  uint8_t keyReleased[kKeyCount] = {};
  uint32_t mouseButtons = 0;
  uint32_t mousePressed = 0;
  uint32_t mouseReleased = 0;
  int32_t mouseX = 0;           // client pixels
  int32_t mouseY = 0;
  float wheel = 0;              // notches since the previous Update, positive away from the user
  int32_t clientWidth = 0;      // client size when the controls were created
  int32_t clientHeight = 0;
};

struct StickPosition {
  float x = 0;
  float y = 0;
};

// A stick shorter than 0.5 reads as centred; one longer than 1 (the square corners of the raw
// range) is pulled back onto the unit circle; anything between passes unchanged.
StickPosition ApplyStickDeadZone(float x, float y);

// Triggers rest slightly pressed on many pads: below 0.15 reads as 0, the rest is stretched
// back over 0..1.
float ApplyTriggerThreshold(float value);

// The stick-direction bits of both sticks (already through the dead zone).
uint32_t PadStickBits(StickPosition left, StickPosition right);
