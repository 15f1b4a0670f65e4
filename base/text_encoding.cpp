#include "base/text_encoding.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes one code point at utf8[index] and advances index. An invalid sequence yields
// U+FFFD and consumes only its longest valid-looking prefix (at least one byte), so the
// byte that broke the sequence is decoded afresh: the usual "maximal subpart" rule.
char32_t DecodeUTF8(std::string_view utf8, size_t& index) {
  const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byteAt(index++);
  if (lead < 0x80) {
    return lead;
  }
  int continuationCount = 0;
  unsigned char secondLow = 0x80;
  unsigned char secondHigh = 0xBF;
  char32_t codePoint = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuationCount = 1;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuationCount = 2;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) {
      secondLow = 0xA0;  // Below would be overlong.
    } else if (lead == 0xED) {
      secondHigh = 0x9F;  // Above would encode a surrogate.
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuationCount = 3;
    codePoint = lead & 0x07;
    if (lead == 0xF0) {
      secondLow = 0x90;  // Below would be overlong.
    } else if (lead == 0xF4) {
      secondHigh = 0x8F;  // Above would exceed U+10FFFF.
    }
  } else {
    return kReplacementCharacter;  // Continuation byte, C0/C1 or F5..FF as a lead.
  }
  for (int i = 0; i < continuationCount; ++i) {
    if (index >= utf8.size()) {
      return kReplacementCharacter;
    }
    const unsigned char next = byteAt(index);
    const unsigned char low = i == 0 ? secondLow : 0x80;
    const unsigned char high = i == 0 ? secondHigh : 0xBF;
    if (next < low || next > high) {
      return kReplacementCharacter;
    }
    codePoint = (codePoint << 6) | (next & 0x3F);
    ++index;
  }
  return codePoint;
}

// Decodes one code point at wide[index] and advances index; unpaired surrogates give U+FFFD.
char32_t DecodeUTF16(std::u16string_view wide, size_t& index) {
  const char16_t unit = wide[index++];
  if (unit < 0xD800 || unit > 0xDFFF) {
    return unit;
  }
  if (unit <= 0xDBFF && index < wide.size() && wide[index] >= 0xDC00 && wide[index] <= 0xDFFF) {
    const char16_t low = wide[index++];
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
  }
  return kReplacementCharacter;
}

// Returns the number of units (1 or 2).
int EncodeUTF16(char32_t codePoint, char16_t* out) {
  if (codePoint < 0x10000) {
    out[0] = static_cast<char16_t>(codePoint);
    return 1;
  }
  codePoint -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
  return 2;
}

void AppendUTF8(char32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

std::u16string ConvertUTF8ToWString(std::string_view utf8) {
  std::u16string result;
  result.reserve(utf8.size());
  size_t index = 0;
  while (index < utf8.size()) {
    char16_t units[2];
    const int count = EncodeUTF16(DecodeUTF8(utf8, index), units);
    result.append(units, static_cast<size_t>(count));
  }
  return result;
}

int ConvertUTF8ToWString(char16_t* destination, int capacity, std::string_view utf8) {
  if (destination == nullptr || capacity < 1) {
    return 0;
  }
  const int limit = capacity - 1;
  int written = 0;
  size_t index = 0;
  while (index < utf8.size()) {
    char16_t units[2];
    const int count = EncodeUTF16(DecodeUTF8(utf8, index), units);
    if (written + count > limit) {
      break;
    }
    for (int i = 0; i < count; ++i) {
      destination[written++] = units[i];
    }
  }
  destination[written] = u'\0';
  return written;
}

std::string ConvertWStringToUTF8(std::u16string_view wide) {
  std::string result;
  result.reserve(wide.size());
  size_t index = 0;
  while (index < wide.size()) {
    AppendUTF8(DecodeUTF16(wide, index), result);
  }
  return result;
}

std::string ConvertWStringToUTF8(const char16_t* wide) {
  if (wide == nullptr) {
    return std::string();
  }
  return ConvertWStringToUTF8(std::u16string_view(wide));
}

char* ConvertWStringToNewUTF8(std::u16string_view wide) {
  const std::string utf8 = ConvertWStringToUTF8(wide);
  char* result = static_cast<char*>(std::malloc(utf8.size() + 1));
  if (result == nullptr) {
    return nullptr;
  }
  std::memcpy(result, utf8.data(), utf8.size());
  result[utf8.size()] = '\0';
  return result;
}
