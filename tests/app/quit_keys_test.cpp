// The keyboard's way out: the question Escape asks, and what confirms or dismisses it.
#include <gtest/gtest.h>

#include <SDL.h>

#include "app/quit_keys.h"

namespace {

using Action = QuitKeys::Action;

TEST(QuitKeysTest, EscapeAsksThenConfirmsWithinTheWindowOfTime) {
  struct Step {
    int32_t key;  // 0: a tick with no key
    uint16_t modifiers;
    uint32_t atMs;
    Action expected;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"Escape twice", {{SDLK_ESCAPE, 0, 1000, Action::Ask}, {SDLK_ESCAPE, 0, 2500, Action::Quit}}},
      {"too slow: asks again",
       {{SDLK_ESCAPE, 0, 1000, Action::Ask}, {SDLK_ESCAPE, 0, 4001, Action::Ask}}},
      {"the question times out",
       {{SDLK_ESCAPE, 0, 1000, Action::Ask}, {0, 0, 3900, Action::None},
        {0, 0, 4100, Action::Dismiss}, {0, 0, 4200, Action::None}}},
      {"another key dismisses",
       {{SDLK_ESCAPE, 0, 1000, Action::Ask}, {SDLK_a, 0, 1100, Action::Dismiss},
        {SDLK_ESCAPE, 0, 1200, Action::Ask}}},
      {"a modifier does not dismiss",
       {{SDLK_ESCAPE, 0, 1000, Action::Ask}, {SDLK_LSHIFT, KMOD_LSHIFT, 1100, Action::None},
        {SDLK_ESCAPE, 0, 1200, Action::Quit}}},
      {"Ctrl+Q at once", {{SDLK_q, KMOD_LCTRL, 5, Action::Quit}}},
      {"Q alone is a camera key", {{SDLK_q, 0, 5, Action::None}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QuitKeys keys;
    for (const Step& step : c.steps) {
      const Action got = step.key == 0 ? keys.OnTick(step.atMs)
                                       : keys.OnKey(step.key, step.modifiers, step.atMs);
      EXPECT_EQ(int(got), int(step.expected)) << "at " << step.atMs;
    }
  }
}

}  // namespace
