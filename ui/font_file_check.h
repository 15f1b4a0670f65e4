#pragma once
// stb_truetype trusts the font it is given: every offset it reads from the file is followed
// without a range check, and a few malformed structures stop it with an assertion or send it into
// endless recursion. Font files are data the program does not control, so before a font is baked
// this check walks every structure the bake will read, the way the bake reads it, and refuses the
// file unless each read stays inside it and every glyph is of a kind the rasteriser handles.
#include <cstdint>
#include <string>
#include <vector>

// True when baking the characters firstChar .. firstChar + charCount - 1 of data (a TrueType
// font, offset 0) at pixelHeight into a bitmap atlasWidth pixels wide reads only inside data and
// every glyph fits the atlas width. Otherwise false with the reason in *error (when not null).
bool CheckFontForBaking(const std::vector<uint8_t>& data, int firstChar, int charCount,
                        float pixelHeight, int atlasWidth, std::string* error);
