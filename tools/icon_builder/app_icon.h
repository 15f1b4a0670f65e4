#pragma once
// The application icon: the atlas's shaded sphere on a rounded tile of the program's teal, with
// the paint brush across its corner, drawn at any size from the 64 x 64 atlas cells.
#include <cstdint>
#include <vector>

// A straight-alpha RGBA8 image.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
};

// Straight-alpha RGBA8 rows of a size x size icon; empty when the atlas is smaller than the
// icon table says.
std::vector<uint8_t> DrawAppIcon(const RgbaImage& atlas, int size);
