#pragma once
// PNG files the program-level tests capture, read back as RGBA pixels.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Image {
  int width = 0, height = 0;  // 0 when the file could not be read
  std::vector<uint8_t> rgba;  // top row first
  const uint8_t* At(int x, int y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
};

Image LoadPng(const std::string& path);
