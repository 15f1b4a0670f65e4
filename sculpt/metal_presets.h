#pragma once
#include <string_view>

// Specular reflectance at normal incidence (F0) of common metals, linear RGB.
struct MetalPreset {
  const char* name;
  float f0[3];
};

inline constexpr int kMetalPresetCount = 11;
extern const MetalPreset kMetalPresets[kMetalPresetCount];

// Exact, case-sensitive lookup; null when no preset has that name.
const MetalPreset* FindMetal(std::string_view name);
