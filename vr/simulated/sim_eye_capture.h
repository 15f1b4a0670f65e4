#pragma once
// Writes a submitted eye image to a PNG file, for scripted runs that check what the user saw.
#include <cstdint>
#include <string>
#include <vector>

#include "sim_headset/sim_eye_png.h"

namespace vr::sim {

// Level 0 of the OpenGL texture as RGBA8, rows in texture order. Needs the context that owns
// the texture to be current. False (logged) when there is no context, the name is not a
// texture, or reading fails.
bool ReadTextureRgba8(uint32_t texture, int* width, int* height, std::vector<uint8_t>* pixels);

// Texture row 0 is the top of the picture (the application renders with an upper-left clip
// origin), so rows are written as they are. Logs "Captured <eye> eye to <path>" or the error.
bool CaptureEyeTexture(const char* eyeName, uint32_t texture, const std::string& path);

}  // namespace vr::sim
