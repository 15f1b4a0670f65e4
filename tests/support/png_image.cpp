#include "png_image.h"

#include <stb_image.h>

Image LoadPng(const std::string& path) {
  Image image;
  int channels = 0;
  if (uint8_t* pixels = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4)) {
    image.rgba.assign(pixels, pixels + size_t(image.width) * image.height * 4);
    stbi_image_free(pixels);
  } else {
    image.width = image.height = 0;
  }
  return image;
}
