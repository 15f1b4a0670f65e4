#pragma once
// The tool-icon table: where each icon of the atlas "textures/tools.png" lies. The atlas builder
// draws the icons at these rectangles and the panel reads them from there, so both use this one
// table.
#include <array>
#include <string>

struct IconRect {
  std::string name;
  float x = 0, y = 0, w = 0, h = 0;  // atlas pixels in kToolIcons; texture coordinates in a panel
};

// The row order is part of the contract: scripts and the panel refer to icons by row.
// "empty" has zero width and draws as nothing.
extern const std::array<IconRect, 17> kToolIcons;
