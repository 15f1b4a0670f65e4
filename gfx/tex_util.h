#pragma once
// Textures computed on the CPU: a solid colour, a function over texture coordinates, a function
// over cube-map directions. Each creates one mip level; the flags become the texture's flags.
#include <cstdint>
#include <functional>

#include "base/math_types.h"
#include "gfx/draw_context.h"

// Called with a texel's lower-left corner (x / width, y / height), not its centre.
using TextureFunction = std::function<Vec4(Vec2 uv)>;
// Called with an unnormalised direction whose major axis is +-1 (see CreateCubemapFromFunction).
using CubemapFunction = std::function<Vec4(Vec3 direction)>;

// Every texel holds color (RGBA8, red in the lowest byte). The format must be R8G8B8A8_UNORM.
Draw::Texture* CreateSolidColorTexture(Draw::DrawContext* context, int width, int height,
                                       int flags, Draw::DataFormat format, uint32_t color);

// Formats: R8G8B8A8_UNORM (packed colour), R8G8_UNORM (red and green of the packed colour),
// R32G32B32A32_FLOAT (the four floats), R32_FLOAT (x only). Any other format is a failed check
// and gives null.
Draw::Texture* CreateTextureFromFunction(Draw::DrawContext* context, int width, int height,
                                         int flags, Draw::DataFormat format,
                                         TextureFunction generator);

// Face f, texel (x, y): with a = 2 (x / size - 0.5) and b = 2 (y / size - 0.5) the direction is
// f0 (1, a, b), f1 (-1, a, b), f2 (a, 1, b), f3 (a, -1, b), f4 (a, b, 1), f5 (a, b, -1).
// Formats: R8G8B8A8_UNORM and R32G32B32A32_FLOAT; any other is a failed check and gives null.
Draw::Texture* CreateCubemapFromFunction(Draw::DrawContext* context, int size,
                                         Draw::DataFormat format, CubemapFunction generator);
