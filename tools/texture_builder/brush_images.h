#pragma once
// The brush images: the soft blob and the pattern on the translucent brush previews. Both are
// white with all their shape in alpha (straight, not premultiplied), so any tint colours them.
#include <cstdint>
#include <vector>

constexpr int kBlobSize = 128;
constexpr int kProxySize = 128;

// A round blob whose alpha falls smoothly from 1 at the centre to 0 at the edge.
std::vector<uint8_t> DrawBlob();

// A grid that tiles seamlessly: faint fill, fine lines, stronger lines every fourth one.
std::vector<uint8_t> DrawProxyPattern();
