#include "ui/font_file_check.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include <stb_truetype.h>

namespace {

constexpr size_t kMaxFontBytes = size_t(64) << 20;
// Real fonts nest composite glyphs two or three deep and give one a handful of parts. The bake
// expands composites recursively and copies the outline so far for every part it appends, so
// both are capped, as is the outline a glyph expands to.
constexpr int kMaxCompositeDepth = 8;
constexpr int kMaxComponents = 64;
constexpr int64_t kMaxExpandedVertices = int64_t(1) << 20;
// stb_truetype expands every part of a composite again wherever it is used, so its work grows with
// the number of paths through the nesting (parts^depth), whatever the memo here saves: a glyph of
// empty parts nested 8 deep, 64 to a level, adds no vertices yet would take days. Counted as
// stb_truetype performs it; real fonts stay in the tens.
constexpr int64_t kMaxPartExpansions = int64_t(1) << 14;
// Composite parts are transformed in floating point and stored as 16-bit coordinates; staying
// clearly inside that range keeps the conversion defined.
constexpr float kCoordinateLimit = 32000.0f;

// Glyph-outline flags.
constexpr uint8_t kOnCurve = 1, kShortX = 2, kShortY = 4, kRepeat = 8, kSameOrPositiveX = 16,
                  kSameOrPositiveY = 32;
// Composite-part flags.
constexpr uint16_t kWordArguments = 1, kArgumentsAreOffsets = 2, kHasScale = 8,
                   kMoreComponents = 0x20, kHasXYScale = 0x40, kHasTwoByTwo = 0x80;

struct Table {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Every coordinate the bake can compute for a glyph's outline, the origin included (line
// segments carry a zero control point that composite transforms move as well).
struct Bounds {
  int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;

  void Add(int32_t x, int32_t y) {
    minX = std::min(minX, x);
    minY = std::min(minY, y);
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
  }
};

struct GlyphState {
  enum Visit : uint8_t { kUnvisited, kVisiting, kDone } visit = kUnvisited;
  Bounds bounds;
  int64_t vertices = 0;  // upper bound of the expanded outline's vertex count
  int64_t expansions = 1;  // glyphs stb_truetype expands to build this one, itself included
};

class FontChecker {
 public:
  FontChecker(const std::vector<uint8_t>& data, std::string* error)
      : data_(data.data()), size_(data.size()), error_(error) {}

  bool Check(int firstChar, int charCount, float pixelHeight, int atlasWidth);

 private:
  bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  // Unchecked big-endian reads: callers have checked the range with Has.
  uint8_t U8(uint64_t offset) const { return data_[offset]; }
  uint16_t U16(uint64_t offset) const {
    return uint16_t((data_[offset] << 8) | data_[offset + 1]);
  }
  int16_t S16(uint64_t offset) const { return int16_t(U16(offset)); }
  uint32_t U32(uint64_t offset) const {
    return (uint32_t(data_[offset]) << 24) | (uint32_t(data_[offset + 1]) << 16) |
           (uint32_t(data_[offset + 2]) << 8) | uint32_t(data_[offset + 3]);
  }
  // Checked reads for the character-map search, whose offsets come from the file.
  bool Read16(uint64_t offset, uint16_t* value) {
    if (!Has(offset, 2)) {
      return Fail("the character map points past the end of the file");
    }
    *value = U16(offset);
    return true;
  }

  bool ReadTables();
  bool FindTable(const char* tag, uint64_t minimumLength, Table* table);
  bool SelectCharacterMap();
  bool GlyphForCharacter(int codepoint, int* glyph);
  bool GlyphRange(int glyph, uint64_t* start, uint64_t* length);
  bool CheckGlyph(int glyph, int depth);
  bool CheckSimpleGlyph(int glyph, uint64_t start, uint64_t length, int contours,
                        GlyphState& state);
  bool CheckCompositeGlyph(int glyph, uint64_t start, uint64_t length, int depth,
                           GlyphState& state);
  bool OutlineInsideBox(const stbtt_fontinfo& font, int glyph, uint64_t start) const;

  const uint8_t* data_;
  uint64_t size_;
  std::string* error_;
  Table cmap_, head_, hhea_, hmtx_, loca_, glyf_, maxp_;
  int numGlyphs_ = 0;
  bool longOffsets_ = false;
  uint32_t characterMap_ = 0;  // offset of the subtable the bake will use
  std::vector<GlyphState> glyphs_;  // one per glyph, sized once, so references stay valid
};

bool FontChecker::Fail(const char* format, ...) {
  if (error_ != nullptr) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    *error_ = buffer;
  }
  return false;
}

bool FontChecker::FindTable(const char* tag, uint64_t minimumLength, Table* table) {
  // The bake takes the first directory entry with the tag, and an offset of 0 as no table.
  const uint16_t tableCount = U16(4);
  for (uint16_t i = 0; i < tableCount; ++i) {
    const uint64_t record = 12 + 16 * uint64_t(i);
    if (std::equal(tag, tag + 4, data_ + record)) {
      table->offset = U32(record + 8);
      table->length = U32(record + 12);
      if (table->offset == 0) {
        break;
      }
      if (!Has(table->offset, table->length)) {
        return Fail("the '%s' table runs past the end of the file", tag);
      }
      if (table->length < minimumLength) {
        return Fail("the '%s' table is too short", tag);
      }
      return true;
    }
  }
  return Fail("the font has no '%s' table", tag);
}

bool FontChecker::ReadTables() {
  if (size_ < 12) {
    return Fail("the file is too short for a font");
  }
  if (size_ > kMaxFontBytes) {
    return Fail("the file is larger than %zu MiB", kMaxFontBytes >> 20);
  }
  const uint32_t version = U32(0);
  if (std::equal(data_, data_ + 4, "OTTO")) {
    return Fail("fonts with CFF outlines are not supported");
  }
  if (std::equal(data_, data_ + 4, "ttcf")) {
    return Fail("font collections are not supported");
  }
  if (version != 0x00010000u && !std::equal(data_, data_ + 4, "true")) {
    return Fail("the file is not a TrueType font");
  }
  if (!Has(12, 16 * uint64_t(U16(4)))) {
    return Fail("the table directory runs past the end of the file");
  }
  if (!FindTable("cmap", 4, &cmap_) || !FindTable("head", 54, &head_) ||
      !FindTable("hhea", 36, &hhea_) || !FindTable("hmtx", 0, &hmtx_) ||
      !FindTable("loca", 0, &loca_) || !FindTable("glyf", 0, &glyf_) ||
      !FindTable("maxp", 6, &maxp_)) {
    return false;
  }
  numGlyphs_ = U16(maxp_.offset + 4);
  if (numGlyphs_ == 0) {
    return Fail("the font has no glyphs");
  }
  const uint16_t locationFormat = U16(head_.offset + 50);
  if (locationFormat > 1) {
    return Fail("glyph location format %u is unknown", locationFormat);
  }
  longOffsets_ = locationFormat == 1;
  if (loca_.length < uint64_t(numGlyphs_ + 1) * (longOffsets_ ? 4 : 2)) {
    return Fail("the 'loca' table is too short for %d glyphs", numGlyphs_);
  }
  if (int(S16(hhea_.offset + 4)) - int(S16(hhea_.offset + 6)) <= 0) {
    return Fail("the font's ascent and descent leave no line height");
  }
  // Glyphs past the long metrics repeat the last advance and keep a side bearing of their own.
  const int longMetrics = U16(hhea_.offset + 34);
  if (longMetrics == 0) {
    return Fail("the font has no horizontal metrics");
  }
  const uint64_t metricsBytes = 4 * uint64_t(std::min(longMetrics, numGlyphs_)) +
                                2 * uint64_t(std::max(0, numGlyphs_ - longMetrics));
  if (hmtx_.length < metricsBytes) {
    return Fail("the 'hmtx' table is too short for %d glyphs", numGlyphs_);
  }
  return true;
}

bool FontChecker::SelectCharacterMap() {
  const uint16_t mapCount = U16(cmap_.offset + 2);
  if (cmap_.length < 4 + 8 * uint64_t(mapCount)) {
    return Fail("the 'cmap' table is too short for its %u maps", mapCount);
  }
  // As the bake does: the last Unicode map wins, and its offset is added in 32 bits.
  characterMap_ = 0;
  for (uint16_t i = 0; i < mapCount; ++i) {
    const uint64_t record = cmap_.offset + 4 + 8 * uint64_t(i);
    const uint16_t platform = U16(record);
    const uint16_t encoding = U16(record + 2);
    if (platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10))) {
      characterMap_ = uint32_t(cmap_.offset) + U32(record + 4);
    }
  }
  if (characterMap_ == 0) {
    return Fail("the font has no Unicode character map");
  }
  if (!Has(characterMap_, 2)) {
    return Fail("the character map lies past the end of the file");
  }
  const uint16_t format = U16(characterMap_);
  if (format != 0 && format != 4 && format != 6 && format != 12 && format != 13) {
    return Fail("character map format %u is not supported", format);
  }
  if (format == 12 || format == 13) {
    // The search multiplies group indices in int: bound the group count by the file first.
    if (!Has(characterMap_, 16)) {
      return Fail("the character map runs past the end of the file");
    }
    const int32_t groups = int32_t(U32(characterMap_ + 12));
    if (groups > 0 && !Has(characterMap_ + 16, 12 * uint64_t(groups))) {
      return Fail("the character map's groups run past the end of the file");
    }
  }
  return true;
}

// The bake's own glyph lookup, step for step, with every read checked.
bool FontChecker::GlyphForCharacter(int codepoint, int* glyph) {
  const uint64_t map = characterMap_;
  const uint16_t format = U16(map);
  *glyph = 0;
  if (format == 0) {
    uint16_t bytes = 0;
    if (!Read16(map + 2, &bytes)) return false;
    if (codepoint < int(bytes) - 6) {
      if (!Has(map + 6 + codepoint, 1)) {
        return Fail("the character map points past the end of the file");
      }
      *glyph = U8(map + 6 + codepoint);
    }
    return true;
  }
  if (format == 6) {
    uint16_t first = 0, count = 0;
    if (!Read16(map + 6, &first) || !Read16(map + 8, &count)) return false;
    if (uint32_t(codepoint) >= first && uint32_t(codepoint) < uint32_t(first) + count) {
      uint16_t value = 0;
      if (!Read16(map + 10 + 2 * uint64_t(codepoint - first), &value)) return false;
      *glyph = value;
    }
    return true;
  }
  if (format == 4) {
    uint16_t segments = 0, searchRange = 0, entrySelector = 0, rangeShift = 0;
    if (!Read16(map + 6, &segments) || !Read16(map + 8, &searchRange) ||
        !Read16(map + 10, &entrySelector) || !Read16(map + 12, &rangeShift)) {
      return false;
    }
    segments >>= 1;
    searchRange >>= 1;
    rangeShift >>= 1;
    const uint64_t endCodes = map + 14;
    uint64_t search = endCodes;
    if (codepoint > 0xFFFF) return true;
    uint16_t value = 0;
    if (!Read16(search + 2 * uint64_t(rangeShift), &value)) return false;
    if (codepoint >= value) search += 2 * uint64_t(rangeShift);
    search -= 2;
    while (entrySelector != 0) {
      searchRange >>= 1;
      if (!Read16(search + 2 * uint64_t(searchRange), &value)) return false;
      if (codepoint > value) search += 2 * uint64_t(searchRange);
      --entrySelector;
    }
    search += 2;
    const uint16_t item = uint16_t((search - endCodes) >> 1);
    uint16_t start = 0, last = 0, rangeOffset = 0;
    if (!Read16(map + 14 + 2 * uint64_t(segments) + 2 + 2 * uint64_t(item), &start) ||
        !Read16(endCodes + 2 * uint64_t(item), &last)) {
      return false;
    }
    if (codepoint < start || codepoint > last) return true;
    const uint64_t rangeOffsetAt = map + 14 + 6 * uint64_t(segments) + 2 + 2 * uint64_t(item);
    if (!Read16(rangeOffsetAt, &rangeOffset)) return false;
    if (rangeOffset == 0) {
      uint16_t delta = 0;
      if (!Read16(map + 14 + 4 * uint64_t(segments) + 2 + 2 * uint64_t(item), &delta)) {
        return false;
      }
      *glyph = uint16_t(codepoint + int16_t(delta));
      return true;
    }
    if (!Read16(rangeOffsetAt + rangeOffset + 2 * uint64_t(codepoint - start), &value)) {
      return false;
    }
    *glyph = value;
    return true;
  }
  // Formats 12 and 13: binary search over groups of (first, last, glyph).
  int32_t low = 0;
  int32_t high = int32_t(U32(map + 12));
  while (low < high) {
    const int32_t middle = low + ((high - low) >> 1);
    const uint64_t group = map + 16 + 12 * uint64_t(middle);
    const uint32_t first = U32(group);
    const uint32_t last = U32(group + 4);
    if (uint32_t(codepoint) < first) {
      high = middle;
    } else if (uint32_t(codepoint) > last) {
      low = middle + 1;
    } else {
      const uint32_t startGlyph = U32(group + 8);
      *glyph = int32_t(format == 12 ? startGlyph + uint32_t(codepoint) - first : startGlyph);
      return true;
    }
  }
  return true;
}

bool FontChecker::GlyphRange(int glyph, uint64_t* start, uint64_t* length) {
  uint64_t from, to;
  if (longOffsets_) {
    from = U32(loca_.offset + 4 * uint64_t(glyph));
    to = U32(loca_.offset + 4 * uint64_t(glyph) + 4);
  } else {
    from = 2 * uint64_t(U16(loca_.offset + 2 * uint64_t(glyph)));
    to = 2 * uint64_t(U16(loca_.offset + 2 * uint64_t(glyph) + 2));
  }
  if (from > to || to > glyf_.length) {
    return Fail("glyph %d lies outside the 'glyf' table", glyph);
  }
  if (from != to && to - from < 10) {
    return Fail("glyph %d is too short for its header", glyph);
  }
  *start = glyf_.offset + from;
  *length = to - from;
  return true;
}

bool FontChecker::CheckGlyph(int glyph, int depth) {
  GlyphState& state = glyphs_[size_t(glyph)];
  if (state.visit == GlyphState::kDone) {
    return true;
  }
  if (state.visit == GlyphState::kVisiting) {
    return Fail("composite glyph %d contains itself", glyph);
  }
  if (depth > kMaxCompositeDepth) {
    return Fail("composite glyphs nest deeper than %d levels", kMaxCompositeDepth);
  }
  uint64_t start = 0, length = 0;
  if (!GlyphRange(glyph, &start, &length)) {
    return false;
  }
  state.visit = GlyphState::kVisiting;
  if (length != 0) {
    const int contours = S16(start);
    const bool ok = contours >= 0
                        ? CheckSimpleGlyph(glyph, start, length, contours, state)
                        : CheckCompositeGlyph(glyph, start, length, depth, state);
    if (!ok) {
      return false;
    }
  }
  state.visit = GlyphState::kDone;
  return true;
}

bool FontChecker::CheckSimpleGlyph(int glyph, uint64_t start, uint64_t length, int contours,
                                   GlyphState& state) {
  if (contours == 0) {
    return true;
  }
  const uint64_t endPoints = start + 10;
  if (length < 12 + 2 * uint64_t(contours)) {
    return Fail("glyph %d is too short for its contours", glyph);
  }
  // Contour ends must rise: the outline builder counts contours by them.
  for (int j = 1; j < contours; ++j) {
    if (U16(endPoints + 2 * j) <= U16(endPoints + 2 * (j - 1))) {
      return Fail("glyph %d has contours out of order", glyph);
    }
  }
  const int points = 1 + U16(endPoints + 2 * (contours - 1));
  const uint64_t end = start + length;
  uint64_t at = endPoints + 2 * uint64_t(contours);
  at += 2 + uint64_t(U16(at));  // skip the hinting instructions
  if (at > end) {
    return Fail("glyph %d's instructions run past its end", glyph);
  }
  std::vector<uint8_t> flags(static_cast<size_t>(points), 0);
  uint8_t flag = 0;
  int repeat = 0;
  for (int i = 0; i < points; ++i) {
    if (repeat == 0) {
      if (at >= end) return Fail("glyph %d's point flags run past its end", glyph);
      flag = U8(at++);
      if (flag & kRepeat) {
        if (at >= end) return Fail("glyph %d's point flags run past its end", glyph);
        repeat = U8(at++);
      }
    } else {
      --repeat;
    }
    flags[size_t(i)] = flag;
  }
  // Coordinates are deltas summed in 32 bits and stored in 16, as the outline builder does.
  std::vector<int16_t> xs(static_cast<size_t>(points)), ys(static_cast<size_t>(points));
  for (int axis = 0; axis < 2; ++axis) {
    const uint8_t shortBit = axis == 0 ? kShortX : kShortY;
    const uint8_t signBit = axis == 0 ? kSameOrPositiveX : kSameOrPositiveY;
    std::vector<int16_t>& stored = axis == 0 ? xs : ys;
    int32_t value = 0;
    for (int i = 0; i < points; ++i) {
      const uint8_t f = flags[size_t(i)];
      if (f & shortBit) {
        if (at + 1 > end) return Fail("glyph %d's coordinates run past its end", glyph);
        const int32_t delta = U8(at++);
        value += (f & signBit) ? delta : -delta;
      } else if (!(f & signBit)) {
        if (at + 2 > end) return Fail("glyph %d's coordinates run past its end", glyph);
        value += S16(at);
        at += 2;
      }
      stored[size_t(i)] = int16_t(value);
    }
  }
  // A contour that starts off the curve takes its next point as the start: a lone off-curve
  // point would send that read past the outline.
  int first = 0;
  for (int j = 0; j < contours; ++j) {
    const int last = U16(endPoints + 2 * j);
    if (last == first && !(flags[size_t(first)] & kOnCurve)) {
      return Fail("glyph %d has a contour of a single off-curve point", glyph);
    }
    first = last + 1;
  }
  for (int i = 0; i < points; ++i) {
    state.bounds.Add(xs[size_t(i)], ys[size_t(i)]);
  }
  state.vertices = points + 2 * int64_t(contours);
  return true;
}

bool FontChecker::CheckCompositeGlyph(int glyph, uint64_t start, uint64_t length, int depth,
                                      GlyphState& state) {
  const uint64_t end = start + length;
  uint64_t at = start + 10;
  Bounds bounds;
  int64_t vertices = 0;
  int64_t expansions = 1;
  int components = 0;
  uint16_t flags = 0;
  do {
    if (++components > kMaxComponents) {
      return Fail("composite glyph %d has more than %d parts", glyph, kMaxComponents);
    }
    if (at + 4 > end) return Fail("composite glyph %d runs past its end", glyph);
    flags = U16(at);
    const int part = U16(at + 2);
    at += 4;
    if (!(flags & kArgumentsAreOffsets)) {
      return Fail("composite glyph %d places a part by matching points, which is not supported",
                  glyph);
    }
    // x' = m (a x + c y + e), y' = n (b x + d y + f), as the outline builder applies it.
    float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    const uint64_t argumentBytes = (flags & kWordArguments) ? 4 : 2;
    const uint64_t scaleBytes = (flags & kHasScale)      ? 2
                                : (flags & kHasXYScale)  ? 4
                                : (flags & kHasTwoByTwo) ? 8
                                                         : 0;
    if (at + argumentBytes + scaleBytes > end) {
      return Fail("composite glyph %d runs past its end", glyph);
    }
    if (flags & kWordArguments) {
      e = S16(at);
      f = S16(at + 2);
    } else {
      e = int8_t(U8(at));
      f = int8_t(U8(at + 1));
    }
    at += argumentBytes;
    if (flags & kHasScale) {
      a = d = S16(at) / 16384.0f;
    } else if (flags & kHasXYScale) {
      a = S16(at) / 16384.0f;
      d = S16(at + 2) / 16384.0f;
    } else if (flags & kHasTwoByTwo) {
      a = S16(at) / 16384.0f;
      b = S16(at + 2) / 16384.0f;
      c = S16(at + 4) / 16384.0f;
      d = S16(at + 6) / 16384.0f;
    }
    at += scaleBytes;
    // Parts beyond the glyph count are skipped by the outline builder.
    if (part >= numGlyphs_) {
      continue;
    }
    if (!CheckGlyph(part, depth + 1)) {
      return false;
    }
    const GlyphState& child = glyphs_[size_t(part)];
    const float m = std::sqrt(a * a + b * b);
    const float n = std::sqrt(c * c + d * d);
    // The transform is affine, so the corners of the part's bounds bound all its coordinates.
    for (int32_t x : {child.bounds.minX, child.bounds.maxX}) {
      for (int32_t y : {child.bounds.minY, child.bounds.maxY}) {
        const float tx = m * (a * float(x) + c * float(y) + e);
        const float ty = n * (b * float(x) + d * float(y) + f);
        if (!(std::fabs(tx) < kCoordinateLimit && std::fabs(ty) < kCoordinateLimit)) {
          return Fail("composite glyph %d moves a part out of the coordinate range", glyph);
        }
        bounds.Add(int32_t(std::floor(tx)) - 1, int32_t(std::floor(ty)) - 1);
        bounds.Add(int32_t(std::ceil(tx)) + 1, int32_t(std::ceil(ty)) + 1);
      }
    }
    expansions += child.expansions;
    if (expansions > kMaxPartExpansions) {
      return Fail("composite glyph %d expands its parts more than %lld times", glyph,
                  static_cast<long long>(kMaxPartExpansions));
    }
    vertices += child.vertices;
    if (vertices > kMaxExpandedVertices) {
      return Fail("composite glyph %d expands to more than %lld outline points", glyph,
                  static_cast<long long>(kMaxExpandedVertices));
    }
  } while (flags & kMoreComponents);
  state.bounds = bounds;
  state.vertices = vertices;
  state.expansions = expansions;
  return true;
}

bool FontChecker::OutlineInsideBox(const stbtt_fontinfo& font, int glyph,
                                   uint64_t start) const {
  const int xMin = S16(start + 2), yMin = S16(start + 4), xMax = S16(start + 6),
            yMax = S16(start + 8);
  auto inside = [&](int x, int y) { return xMin <= x && x <= xMax && yMin <= y && y <= yMax; };
  stbtt_vertex* vertices = nullptr;
  const int count = stbtt_GetGlyphShape(&font, glyph, &vertices);
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    const stbtt_vertex& v = vertices[i];
    ok = inside(v.x, v.y) && (v.type != STBTT_vcurve || inside(v.cx, v.cy));
  }
  stbtt_FreeShape(&font, vertices);
  return ok;
}

bool FontChecker::Check(int firstChar, int charCount, float pixelHeight, int atlasWidth) {
  if (!ReadTables() || !SelectCharacterMap()) {
    return false;
  }
  glyphs_.assign(size_t(numGlyphs_), GlyphState{});
  std::vector<int> glyphOf(size_t(std::max(charCount, 0)), 0);
  for (int i = 0; i < charCount; ++i) {
    int glyph = 0;
    if (!GlyphForCharacter(firstChar + i, &glyph)) {
      return false;
    }
    if (glyph < 0 || glyph >= numGlyphs_) {
      return Fail("character %d maps to glyph %d of a font with %d glyphs", firstChar + i, glyph,
                  numGlyphs_);
    }
    if (!CheckGlyph(glyph, 0)) {
      // The failing glyph may be a part deep inside; the character says which text it breaks.
      const int c = firstChar + i;
      if (error_ != nullptr) {
        char suffix[48];
        if (c >= 0x20 && c < 0x7F) {
          std::snprintf(suffix, sizeof(suffix), " (in character '%c')", char(c));
        } else {
          std::snprintf(suffix, sizeof(suffix), " (in character %d)", c);
        }
        *error_ += suffix;
      }
      return false;
    }
    glyphOf[size_t(i)] = glyph;
  }
  // Everything the bake reads is now known to be inside the file, so stb_truetype may look.
  stbtt_fontinfo font;
  if (!stbtt_InitFont(&font, data_, 0)) {
    return Fail("stb_truetype does not accept the font");
  }
  const float scale = stbtt_ScaleForPixelHeight(&font, pixelHeight);
  for (int i = 0; i < charCount; ++i) {
    const int glyph = glyphOf[size_t(i)];
    uint64_t start = 0, length = 0;
    GlyphRange(glyph, &start, &length);
    if (length == 0) {
      continue;
    }
    if (S16(start + 2) > S16(start + 6) || S16(start + 4) > S16(start + 8)) {
      return Fail("glyph %d has an inverted bounding box", glyph);
    }
    // The rasteriser clips outlines that stray past the glyph's box sideways, but one that
    // reaches above the box's top row trips its assertions: the outline must keep to the box.
    if (!OutlineInsideBox(font, glyph, start)) {
      return Fail("glyph %d reaches outside its bounding box", glyph);
    }
    // The bake starts a glyph one pixel in and keeps a pixel free after it.
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBox(&font, glyph, scale, scale, &x0, &y0, &x1, &y1);
    if (x1 - x0 > atlasWidth - 2) {
      return Fail("character %d is %d pixels wide, too wide for a %d-pixel atlas",
                  firstChar + i, x1 - x0, atlasWidth);
    }
  }
  return true;
}

}  // namespace

bool CheckFontForBaking(const std::vector<uint8_t>& data, int firstChar, int charCount,
                        float pixelHeight, int atlasWidth, std::string* error) {
  FontChecker checker(data, error);
  return checker.Check(firstChar, charCount, pixelHeight, atlasWidth);
}
