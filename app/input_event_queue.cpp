#include "app/input_event_queue.h"

#include <algorithm>

void InputEventQueue::Push(const InputEvent& event) {
  if (event.kind == InputEvent::Kind::Key && event.code >= uint32_t(Controls::kKeyCount)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (events_.size() < kMaxEvents) events_.push_back(event);
}

bool InputEventQueue::Deliver(Controls& controls, int32_t* x, int32_t* y) {
  std::fill(std::begin(controls.keyPressed), std::end(controls.keyPressed), uint8_t{0});
  std::fill(std::begin(controls.keyReleased), std::end(controls.keyReleased), uint8_t{0});
  controls.mousePressed = 0;
  controls.mouseReleased = 0;
  bool keyChanged[Controls::kKeyCount] = {};
  uint32_t buttonsChanged = 0;
  bool placed = false;

  std::lock_guard<std::mutex> lock(mutex_);
  while (!events_.empty()) {
    const InputEvent& event = events_.front();
    if (event.kind == InputEvent::Kind::Key) {
      uint8_t& down = controls.keyDown[event.code];
      if (bool(down) != event.down) {
        if (keyChanged[event.code]) break;
        keyChanged[event.code] = true;
        (event.down ? controls.keyPressed : controls.keyReleased)[event.code] = 1;
        down = event.down ? 1 : 0;
      }
    } else {
      const bool held = (controls.mouseButtons & event.code) != 0;
      if (held != event.down) {
        if ((buttonsChanged & event.code) != 0) break;
        const bool seenThere = placed ? (*x == event.x && *y == event.y)
                                      : (controls.mouseX == event.x && controls.mouseY == event.y);
        if (!seenThere) {
          // First a frame with the pointer there and the button as it was: a click then meets
          // what the pointer hovers, and a drag reaches the point where it was let go.
          *x = event.x;
          *y = event.y;
          placed = true;
          break;
        }
        buttonsChanged |= event.code;
        if (event.down) {
          controls.mousePressed |= event.code;
          controls.mouseButtons |= event.code;
        } else {
          controls.mouseReleased |= event.code;
          controls.mouseButtons &= ~event.code;
        }
      }
      *x = event.x;
      *y = event.y;
      placed = true;
    }
    events_.pop_front();
  }
  return placed;
}
