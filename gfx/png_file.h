#pragma once
// Image files: those the build writes into the data tree and beside it (the icon atlas, the brush
// images, the application icon), and the program's captures.
#include <cstdint>
#include <string>
#include <vector>

// Encodes straight-alpha RGBA8 rows as PNG and writes the file atomically, so an interrupted build
// never leaves a torn file behind. False, logged, on failure.
bool WritePngFile(const std::string& path, const std::vector<uint8_t>& rgba, int width,
                  int height);
