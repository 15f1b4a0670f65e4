#pragma once

#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 conversion for the operating-system boundary. Invalid input never fails:
// each invalid sequence (stray or missing continuation bytes, overlong forms, encoded
// surrogates, values above U+10FFFF, lone UTF-16 surrogates) becomes U+FFFD.

std::u16string ConvertUTF8ToWString(std::string_view utf8);

// Converts into destination, writing at most capacity - 1 units and then a terminator right
// after them; a surrogate pair that does not fit whole is left out. Returns the number of
// units written, not counting the terminator (0 when capacity < 1).
int ConvertUTF8ToWString(char16_t* destination, int capacity, std::string_view utf8);

std::string ConvertWStringToUTF8(std::u16string_view wide);
// Converts up to the terminator; null gives an empty string.
std::string ConvertWStringToUTF8(const char16_t* wide);

// A malloc'd, NUL-terminated copy; release it with free(). Null only if allocation fails.
char* ConvertWStringToNewUTF8(std::u16string_view wide);
