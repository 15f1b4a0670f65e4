#pragma once
// A file name as a relative URI reference (RFC 3986), as glTF names the files beside it.
#include <string>
#include <string_view>

// Unreserved characters (letters, digits, '-', '.', '_', '~') as they are and every other byte
// percent-encoded, so that the reference names exactly this file in the same folder: '%', '#', '?'
// and '/' keep no meaning, and a ':' cannot make the name read as a scheme.
std::string RelativeUriOfFileName(std::string_view name);
