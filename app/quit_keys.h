#pragma once
// Quitting from the keyboard, in either window: Ctrl+Q at once; Escape asks first, and a second
// Escape within a few seconds confirms. Fed the window's key presses on the main thread.
#include <cstdint>

class QuitKeys {
 public:
  static constexpr uint32_t kConfirmMs = 3000;

  enum class Action {
    None,     // nothing to do
    Ask,      // say that a second Escape quits
    Quit,     // close the program as closing the window does
    Dismiss,  // the question timed out or another key was pressed: stop asking
  };

  // A key pressed (SDL key code and modifier state) at nowMs.
  Action OnKey(int32_t key, uint16_t modifiers, uint32_t nowMs);
  // Called while idle: Dismiss once the question has waited too long.
  Action OnTick(uint32_t nowMs);

 private:
  bool asking_ = false;
  uint32_t askedAtMs_ = 0;
};
