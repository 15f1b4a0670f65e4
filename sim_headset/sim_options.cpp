#include "sim_headset/sim_options.h"

#include <charconv>
#include <cstdlib>
#include <optional>

#include "base/log.h"

namespace vr::sim {
namespace {

constexpr uint32_t kMinEyeSide = 16;
constexpr uint32_t kMaxEyeSide = 16384;

std::optional<SimulatedHeadsetOptions> g_override;

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

bool ParseSide(std::string_view text, uint32_t* side) {
  uint32_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      value < kMinEyeSide || value > kMaxEyeSide) {
    return false;
  }
  *side = value;
  return true;
}

}  // namespace

bool ParseEyeSize(std::string_view text, uint32_t* width, uint32_t* height) {
  const size_t x = text.find_first_of("xX");
  uint32_t w = 0, h = 0;
  if (x == std::string_view::npos || !ParseSide(text.substr(0, x), &w) ||
      !ParseSide(text.substr(x + 1), &h)) {
    return false;
  }
  *width = w;
  *height = h;
  return true;
}

SimulatedHeadsetOptions OptionsFromEnvironment() {
  SimulatedHeadsetOptions options;
  if (const char* timeline = Environment("LOOMWORK_VR_TIMELINE")) {
    options.timelinePath = timeline;
  }
  if (const char* unpaced = Environment("LOOMWORK_VR_UNPACED")) {
    const std::string_view value(unpaced);
    if (value == "1") {
      options.paced = false;
    } else if (value != "0") {
      Log(LogLevel::Warning, "LOOMWORK_VR_UNPACED='%.64s' is neither 1 nor 0: staying paced",
          unpaced);
    }
  }
  if (const char* eyeSize = Environment("LOOMWORK_VR_EYE_SIZE")) {
    if (!ParseEyeSize(eyeSize, &options.eyeWidth, &options.eyeHeight)) {
      Log(LogLevel::Warning,
          "LOOMWORK_VR_EYE_SIZE='%.64s' is not WxH with sides %u..%u: keeping %ux%u", eyeSize,
          kMinEyeSide, kMaxEyeSide, options.eyeWidth, options.eyeHeight);
    }
  }
  return options;
}

void SetOptionsOverride(const SimulatedHeadsetOptions* options) {
  if (options != nullptr) {
    g_override = *options;
  } else {
    g_override.reset();
  }
}

SimulatedHeadsetOptions OptionsForStart() {
  return g_override.has_value() ? *g_override : OptionsFromEnvironment();
}

}  // namespace vr::sim
