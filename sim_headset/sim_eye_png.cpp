#include "sim_headset/sim_eye_png.h"

#include "base/log.h"
#include "gfx/png_file.h"

namespace vr::sim {

bool WriteEyePng(const char* eyeName, int width, int height, std::vector<uint8_t>* pixels,
                 const std::string& path) {
  if (width <= 0 || height <= 0 || pixels->size() != size_t(width) * size_t(height) * 4) {
    Log(LogLevel::Error, "Could not write the %s eye capture to %s: no image", eyeName,
        path.c_str());
    return false;
  }
  // A headset shows colour only; the alpha the application left (zero where it blended with
  // zero alpha factors) would make those parts transparent in the file.
  for (size_t i = 3; i < pixels->size(); i += 4) (*pixels)[i] = 255;
  // Through the atomic writer: a full disk or a failed close is a failed capture, and an earlier
  // capture of that name stays whole.
  if (!WritePngFile(path, *pixels, width, height)) {
    Log(LogLevel::Error, "Could not write the %s eye capture to %s", eyeName, path.c_str());
    return false;
  }
  Log(LogLevel::Info, "Captured %s eye to %s", eyeName, path.c_str());
  return true;
}

}  // namespace vr::sim
