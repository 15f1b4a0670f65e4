#include "app/quit_keys.h"

#include <SDL.h>

QuitKeys::Action QuitKeys::OnKey(int32_t key, uint16_t modifiers, uint32_t nowMs) {
  if (key == SDLK_q && (modifiers & KMOD_CTRL) != 0) return Action::Quit;
  if (key == SDLK_ESCAPE) {
    if (asking_ && nowMs - askedAtMs_ <= kConfirmMs) return Action::Quit;
    asking_ = true;
    askedAtMs_ = nowMs;
    return Action::Ask;
  }
  // Modifiers alone do not count as changing one's mind.
  const bool modifier = key == SDLK_LSHIFT || key == SDLK_RSHIFT || key == SDLK_LCTRL ||
                        key == SDLK_RCTRL || key == SDLK_LALT || key == SDLK_RALT;
  if (asking_ && !modifier) {
    asking_ = false;
    return Action::Dismiss;
  }
  return Action::None;
}

QuitKeys::Action QuitKeys::OnTick(uint32_t nowMs) {
  if (asking_ && nowMs - askedAtMs_ > kConfirmMs) {
    asking_ = false;
    return Action::Dismiss;
  }
  return Action::None;
}
