// The simulated headset's timeline files.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim_headset/sim_timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vr::sim::Timeline timeline;
  vr::sim::ParseTimeline(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz",
                         &timeline);
  return 0;
}
