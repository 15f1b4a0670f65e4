// Shader files (chunked, one code block per language) as the shader library reads them.
#include <cstddef>
#include <cstdint>

#include "gfx/shader_file.h"
#include "tests/fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WriteInput("input.shader", data, size);
  Draw::ShaderStage stage = Draw::VERTEX;
  for (int32_t language : {1, 8, 16, 128, 2048, 4096})
    ReadShaderFile(&fuzz::Roots(), "input.shader", language, &stage);
  return 0;
}
