#pragma once
// Writes an eye image to a PNG file, for scripted runs that check what the user saw; shared by
// the in-process headset and the OpenXR runtime.
#include <cstdint>
#include <string>
#include <vector>

namespace vr::sim {

// Writes RGBA8 pixels (top row first) as an opaque PNG; needs no OpenGL, so the OpenXR face of
// the headset writes its captures through it too. pixels is changed (alpha set to 255).
bool WriteEyePng(const char* eyeName, int width, int height, std::vector<uint8_t>* pixels,
                 const std::string& path);

}  // namespace vr::sim
