// Compiled into every test program. SDL keeps a little state of its own (driver lists, hints, the
// audio and video drivers' caches) until SDL_Quit: the program calls it at its end, and every test
// program does too, so the leak check at exit sees only real leaks.
#include <SDL.h>
#include <gtest/gtest.h>

namespace {

class SdlQuitAtEnd : public ::testing::Environment {
 public:
  void TearDown() override { SDL_Quit(); }
};

[[maybe_unused]] ::testing::Environment* const g_sdlQuitAtEnd =
    ::testing::AddGlobalTestEnvironment(new SdlQuitAtEnd);

}  // namespace
