// WAVE files through the clip loader, as the program reads them from its data roots.
#include <cstddef>
#include <cstdint>

#include "audio/sound_loader.h"
#include "tests/fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteInput("input.wav", data, size);
  const auto clip = Audio::LoadClip(&fuzz::Roots(), "input.wav");
  // Samples come from the file: never more than it holds.
  if (clip != nullptr && clip->samples.size() > size) __builtin_trap();
  return 0;
}
