#include "base/text_encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TEST(TextEncodingTest, ValidTextRoundTrips) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"sculpt.lua", u"sculpt.lua"},
      {"\xE2\x82\xAC", {0x20AC}},                       // Euro sign.
      {"caf\xC3\xA9", {u'c', u'a', u'f', 0x00E9}},      // Two-byte form.
      {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},           // U+1F600 needs a surrogate pair.
      {"\xEF\xBF\xBF", {0xFFFF}},
      {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},           // U+10FFFF, the last code point.
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},  // Lengths, not terminators.
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertUTF8ToWString(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(ConvertWStringToUTF8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(TextEncodingTest, InvalidUTF8BecomesReplacementCharacters) {
  constexpr char16_t R = 0xFFFD;
  const struct {
    std::string utf8;
    std::u16string expected;
  } cases[] = {
      {"\x80", {R}},                               // Stray continuation byte.
      {"a\xBF" "b", {u'a', R, u'b'}},
      {"\xC0\xAF", {R, R}},                        // Overlong '/'.
      {"\xC1\xBF", {R, R}},
      {"\xE0\x80\xAF", {R, R, R}},                 // Overlong three-byte form.
      {"\xF0\x80\x80\xAF", {R, R, R, R}},          // Overlong four-byte form.
      {"\xED\xA0\x80", {R, R, R}},                 // Encoded surrogate U+D800.
      {"\xF4\x90\x80\x80", {R, R, R, R}},          // Above U+10FFFF.
      {"\xF5\x80", {R, R}},
      {"\xFF", {R}},
      {"\xE2\x82", {R}},                           // Truncated at the end: one replacement.
      {"\xE2\x82" "A", {R, u'A'}},                 // The interrupting byte is kept.
      {"\xF0\x9F\x98" "x\xE2\x82\xAC", {R, u'x', 0x20AC}},
      {"\xC3", {R}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertUTF8ToWString(c.utf8), c.expected) << testing::PrintToString(c.utf8);
  }
}

TEST(TextEncodingTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string R = "\xEF\xBF\xBD";
  const struct {
    std::u16string utf16;
    std::string expected;
  } cases[] = {
      {{0xD800}, R},
      {{0xDC00}, R},
      {{u'a', 0xD83D}, "a" + R},                   // High surrogate at the end.
      {{0xD83D, u'A'}, R + "A"},
      {{0xDE00, 0xD83D}, R + R},                   // Pair in the wrong order.
      {{0xD83D, 0xD83D, 0xDE00}, R + "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConvertWStringToUTF8(c.utf16), c.expected);
  }
}

TEST(TextEncodingTest, FixedBufferNeverWritesPastCapacity) {
  const struct {
    const char* utf8;
    int capacity;
    int expectedUnits;
  } cases[] = {
      {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 2, 1},  // Terminator lands at capacity - 1.
      {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 4, 3},  // Exactly fits.
      {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 9, 3},
      {"abc", 1, 0},                                    // Room for the terminator only.
      {"a\xF0\x9F\x98\x80", 3, 1},                      // A surrogate pair is never split.
      {"a\xF0\x9F\x98\x80", 4, 3},
      {"", 5, 0},
  };
  for (const auto& c : cases) {
    char16_t buffer[12];
    std::fill(std::begin(buffer), std::end(buffer), char16_t{0x5A5A});
    const int written = ConvertUTF8ToWString(buffer, c.capacity, c.utf8);
    EXPECT_EQ(written, c.expectedUnits) << c.utf8 << " capacity " << c.capacity;
    EXPECT_EQ(buffer[written], u'\0');
    for (int i = c.capacity; i < 12; ++i) {
      EXPECT_EQ(buffer[i], 0x5A5A) << "wrote past capacity at " << i;
    }
    EXPECT_EQ(std::u16string(buffer, static_cast<size_t>(written)),
              ConvertUTF8ToWString(c.utf8).substr(0, static_cast<size_t>(written)));
  }
}

TEST(TextEncodingTest, FixedBufferWithoutRoomWritesNothing) {
  char16_t buffer[1] = {0x5A5A};
  EXPECT_EQ(ConvertUTF8ToWString(buffer, 0, "abc"), 0);
  EXPECT_EQ(buffer[0], 0x5A5A);
  EXPECT_EQ(ConvertUTF8ToWString(nullptr, 10, "abc"), 0);
}

TEST(TextEncodingTest, TerminatedAndNewlyAllocatedForms) {
  const char16_t euro[] = {u'x', 0x20AC, 0, u'y'};
  EXPECT_EQ(ConvertWStringToUTF8(euro), "x\xE2\x82\xAC");  // Stops at the terminator.
  EXPECT_EQ(ConvertWStringToUTF8(static_cast<const char16_t*>(nullptr)), "");

  char* empty = ConvertWStringToNewUTF8(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], '\0');
  std::free(empty);

  char* converted = ConvertWStringToNewUTF8(std::u16string_view(euro, 2));
  ASSERT_NE(converted, nullptr);
  EXPECT_STREQ(converted, "x\xE2\x82\xAC");
  std::free(converted);
}

}  // namespace
