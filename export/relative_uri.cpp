#include "export/relative_uri.h"

#include <cstdint>

std::string RelativeUriOfFileName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri;
  for (const char c : name) {
    const auto byte = uint8_t(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                            c == '~';
    if (unreserved) {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 15];
    }
  }
  return uri;
}
