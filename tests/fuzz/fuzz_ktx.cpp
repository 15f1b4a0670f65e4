// KTX cube maps and textures, read into a drawing context that records the uploads and reads
// every byte an OpenGL upload would.
#include <cstddef>
#include <cstdint>

#include "gfx/ktx.h"
#include "tests/gfx/texture_test_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  textest::RecordingContext context;
  Draw::Texture* texture = CreateTextureFromKTX(&context, data, size);
  delete texture;
  return 0;
}
