#pragma once
// Text from outside the program (file names) placed in hand-written JSON.
#include <string>
#include <string_view>

// `text` as a JSON string, quotes included: '"', '\' and control characters escaped, every other
// byte as it is (UTF-8 text stays UTF-8).
std::string JsonString(std::string_view text);
