#pragma once
// The tool-icon atlas ("textures/tools.png"): white icons on transparent texels at the pixel
// rectangles of the panel's icon table (kToolIcons), and a block of opaque white around the
// texel the panel samples for solid quads.
#include <cstdint>
#include <vector>

constexpr int kIconAtlasWidth = 512;
constexpr int kIconAtlasHeight = 576;  // the lowest rectangle ends at y = 576
// The panel samples (288, 32) for solid colour. The whole 64 x 64 cell around it is white so
// that bilinear filtering and every mip level down to 64 x 64 texels still read pure white.
constexpr int kWhiteTexelX = 288;
constexpr int kWhiteTexelY = 32;
constexpr int kWhiteCellX = 256;
constexpr int kWhiteCellY = 0;
constexpr int kWhiteCellSize = 64;

// Straight-alpha RGBA8 rows of the atlas.
std::vector<uint8_t> DrawToolIconAtlas();
