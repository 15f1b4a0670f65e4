#include "sculpt/metal_presets.h"

const MetalPreset kMetalPresets[kMetalPresetCount] = {
    {"Titanium", {0.542f, 0.497f, 0.449f}},  {"Chromium", {0.549f, 0.556f, 0.554f}},
    {"Iron", {0.562f, 0.565f, 0.578f}},      {"Nickel", {0.660f, 0.609f, 0.526f}},
    {"Platinum", {0.673f, 0.637f, 0.585f}},  {"Copper", {0.955f, 0.638f, 0.538f}},
    {"Palladium", {0.733f, 0.697f, 0.652f}}, {"Zinc", {0.664f, 0.824f, 0.850f}},
    {"Gold", {1.022f, 0.782f, 0.344f}},      {"Aluminum", {0.913f, 0.922f, 0.924f}},
    {"Silver", {0.972f, 0.960f, 0.915f}},
};

const MetalPreset* FindMetal(std::string_view name) {
  for (const MetalPreset& preset : kMetalPresets)
    if (name == preset.name) return &preset;
  return nullptr;
}
