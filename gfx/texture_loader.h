#pragma once
// Image files (PNG, JPEG, TGA, BMP, ... through stb_image) turned into RGBA8 textures. Paths are
// looked up through the data roots like every other data file: the first root whose file decodes
// wins.
#include <cstdint>
#include <string>
#include <vector>

#include "file/file_util.h"
#include "gfx/draw_context.h"

enum TextureLoadFlag : uint32_t {
  PREMULTIPLY_ALPHA = 1,  // colour channels multiplied by alpha before upload (single files)
  GENERATE_MIPS = 2,      // a mip chain one level short of complete, filled by the driver
  SRGB = 4,               // R8G8B8A8_UNORM_SRGB instead of R8G8B8A8_UNORM
};

// Sides above this are refused: no driver the program runs on allocates more.
constexpr int kMaxTextureSide = 16384;

// Mip levels for an image: 1, or with GENERATE_MIPS min(floor(log2 width), floor(log2 height)),
// which is one level short of a complete chain; never less than 1 (a 1-texel side would give 0).
int LoadedTextureMipLevels(int width, int height, uint32_t flags);

// Null roots means the path as given. Null with "Failed to load '<path>'" when no root has a
// file that decodes.
Draw::Texture* LoadTexture(Draw::DrawContext* context, const DataRoots* roots,
                           const std::string& path, uint32_t flags);

// One layer per path, all of the first image's size (ARRAY texture; no premultiplication). Null
// when any path fails to load or when the sizes differ ("Array texture must have all textures of
// identical size").
Draw::Texture* LoadArrayTexture(Draw::DrawContext* context, const DataRoots* roots,
                                const std::vector<std::string>& paths, uint32_t flags);
