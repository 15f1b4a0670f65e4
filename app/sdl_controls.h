#pragma once
// SdlControls: Controls fed by SDL events and SDL game controllers.
//
// Two threads meet here. The main thread pumps SDL events and passes each one to HandleEvent,
// which queues presses and releases of keys (under their Windows virtual-key codes, so that the
// application's key tables stay platform-free) and mouse buttons, and records the pointer
// position, wheel notches and which game controllers are connected. The application thread calls
// Update once per frame, which takes the queued presses and releases (see InputEventQueue: none
// is lost, however short) and samples the rest into the Controls snapshot.
#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "app/controls.h"
#include "app/input_event_queue.h"

class SdlControls : public Controls {
 public:
  // Records the window's client size (a null window leaves it 0 by 0) and opens the game
  // controllers already connected, starting SDL's game-controller subsystem for as long as this
  // object lives. Construct and destroy on the thread that pumps events.
  explicit SdlControls(SDL_Window* window);
  ~SdlControls() override;
  SdlControls(const SdlControls&) = delete;
  SdlControls& operator=(const SdlControls&) = delete;

  // Main thread, for every event pumped; events that are not input are ignored.
  void HandleEvent(const SDL_Event& event);

  // Application thread, once per frame.
  void Update() override;

  // Number of game controllers open now.
  int PadCount() const;

 private:
  void OpenPad(int deviceIndex);
  void ClosePad(SDL_JoystickID instanceId);
  void ReadPad(SDL_GameController* pad);
  void StorePointer(int32_t x, int32_t y);

  InputEventQueue events_;
  // x in the low half, y in the high half, so that a position is always read whole.
  std::atomic<uint64_t> rawPointer_{0};
  // Notches since the last Update; Update takes it with an exchange so no step is lost.
  std::atomic<float> rawWheel_{0.0f};

  bool padSubsystemStarted_ = false;
  // Opened and closed on the main thread, read by Update on the application thread.
  mutable std::mutex padMutex_;
  std::vector<SDL_GameController*> pads_;
};

// The Windows virtual-key code of a key: 'A'-'Z' 65-90 and '0'-'9' 48-57 by the character the
// layout gives the key (by its position when the character is not a Latin letter or digit),
// other keys by position (F1 112, Escape 27, Left 37, Shift 16, numpad 0 96, ...). 0 for keys
// without one.
int VirtualKeyFromSdl(const SDL_Keysym& key);
