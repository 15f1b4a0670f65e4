#pragma once
// Presses and releases of keys and mouse buttons, kept in the order they happened until frames
// take them, so that none is lost however slowly frames come: a key tapped or a button clicked
// between two frames still shows as pressed for one frame and released in the next.
//
// Each frame takes events in order until a key or button would change a second time; the rest
// waits for the next frame. A mouse button event also carries the pointer to where it happened,
// so a click lands where it was made. A press or release away from where the last frame saw the
// pointer waits one frame, which shows the pointer there with the button as it was: a click
// meets what the pointer hovers (the panel knows it is under the pointer), and a stroke reaches
// the point where the button was let go.
#include <cstdint>
#include <deque>
#include <mutex>

#include "app/controls.h"

struct InputEvent {
  enum class Kind : uint8_t { Key, MouseButton };
  Kind kind = Kind::Key;
  bool down = false;
  uint32_t code = 0;  // a virtual-key code below Controls::kKeyCount, or one mouse button bit
  int32_t x = 0, y = 0;  // the pointer, for mouse buttons
};

class InputEventQueue {
 public:
  // Any thread. Past kMaxEvents unread events further ones are dropped: nobody is taking them.
  void Push(const InputEvent& event);
  // The application thread, once per frame: sets the key and mouse-button fields of `controls`
  // (state and this frame's edges) from the events this frame takes. True when a mouse button
  // event placed the pointer, which is then in `x`, `y`.
  bool Deliver(Controls& controls, int32_t* x, int32_t* y);

  static constexpr size_t kMaxEvents = 4096;

 private:
  std::mutex mutex_;
  std::deque<InputEvent> events_;
};
