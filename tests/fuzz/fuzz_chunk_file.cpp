// The tagged-chunk reader over any bytes, driven by a walk that the input chooses too: the first
// bytes are the walk (descend into a tag, ascend, read an integer or a block), the rest the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "file/chunk_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t steps = data[0] % 32;
  if (size < 1 + steps) return 0;
  const uint8_t* walk = data + 1;
  ChunkFile file(data + 1 + steps, size - 1 - steps);
  if (file.Failed()) return 0;
  static const uint32_t kTags[] = {'RIFF', 'fmt ', 'data', 'UNIS', 'INFO', 'CODE', 'LIST', 0};
  std::vector<uint8_t> block(4096);
  for (size_t i = 0; i < steps; ++i) {
    const uint8_t step = walk[i];
    switch (step & 3) {
      case 0: file.Descend(kTags[(step >> 2) % 8]); break;
      case 1: file.Ascend(); break;
      case 2: file.ReadInt(); break;
      case 3: {
        const int length = file.GetCurrentChunkLength();
        const int wanted = int(step >> 2) * 64;
        file.ReadData(block.data(), wanted < length ? wanted : (length < 4096 && length > 0 ? length : 0));
        break;
      }
    }
  }
  return 0;
}
