#include "vr/simulated/sim_desktop_input.h"

#include <SDL.h>

namespace vr::sim {
namespace {

struct KeyBinding {
  SDL_Scancode key;
  bool rightHand;
  EVRButtonId button;
};
constexpr KeyBinding kBindings[] = {
    {SDL_SCANCODE_LEFT, true, k_EButton_DPad_Left},
    {SDL_SCANCODE_UP, true, k_EButton_DPad_Up},
    {SDL_SCANCODE_RIGHT, true, k_EButton_DPad_Right},
    {SDL_SCANCODE_DOWN, true, k_EButton_DPad_Down},
    {SDL_SCANCODE_SPACE, true, k_EButton_ApplicationMenu},
    {SDL_SCANCODE_M, false, k_EButton_ApplicationMenu},
    {SDL_SCANCODE_TAB, false, k_EButton_ApplicationMenu},
};

}  // namespace

DesktopInput ReadDesktopInput() {
  DesktopInput input;
  int keyCount = 0;
  const Uint8* keys = SDL_GetKeyboardState(&keyCount);
  const auto down = [&](SDL_Scancode key) {
    return keys != nullptr && int(key) < keyCount && keys[key] != 0;
  };
  for (const KeyBinding& binding : kBindings) {
    if (down(binding.key)) {
      (binding.rightHand ? input.rightButtons : input.leftButtons) |=
          ButtonMaskFromId(binding.button);
    }
  }
  input.reachSteps = (down(SDL_SCANCODE_R) ? 1 : 0) - (down(SDL_SCANCODE_F) ? 1 : 0);

  SDL_Window* window = SDL_GL_GetCurrentWindow();
  if (window == nullptr) {
    return input;
  }
  int mouseX = 0, mouseY = 0;
  const Uint32 mouseButtons = SDL_GetMouseState(&mouseX, &mouseY);
  SDL_GetWindowSize(window, &input.pointer.windowWidth, &input.pointer.windowHeight);
  input.pointer.x = float(mouseX) + 0.5f;  // the pixel's centre
  input.pointer.y = float(mouseY) + 0.5f;
  input.hasPointer = true;
  input.rightTrigger = (mouseButtons & SDL_BUTTON(SDL_BUTTON_LEFT)) != 0 ? 1.0f : 0.0f;
  return input;
}

}  // namespace vr::sim
