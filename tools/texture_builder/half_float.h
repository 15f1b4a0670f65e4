#pragma once
// IEEE 754 half precision, for the 16-bit float textures the builder writes.
#include <cstdint>
#include <cstring>

// Rounds to nearest even. Values beyond the half range become the largest finite half (the
// images hold radiance, where infinity would only poison filtering); NaN becomes zero.
inline uint16_t FloatToHalf(float value) {
  if (!(value == value)) return 0;
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000);
  bits &= 0x7FFFFFFF;
  if (bits >= 0x477FF000) return sign | 0x7BFF;  // rounds to 65520 or more
  if (bits < 0x38800000) {                        // below the smallest normal half
    if (bits < 0x33000000) return sign;           // below half the smallest subnormal
    const uint32_t exponent = bits >> 23;
    const uint32_t mantissa = (bits & 0x7FFFFF) | 0x800000;
    const uint32_t shift = 126 - exponent;  // in units of 2^-24: mantissa >> shift
    uint32_t half = mantissa >> shift;
    const uint32_t rest = mantissa & ((1u << shift) - 1);
    const uint32_t halfway = 1u << (shift - 1);
    if (rest > halfway || (rest == halfway && (half & 1))) ++half;
    return sign | static_cast<uint16_t>(half);
  }
  uint32_t half = ((bits - 0x38000000) >> 13);
  const uint32_t rest = bits & 0x1FFF;
  if (rest > 0x1000 || (rest == 0x1000 && (half & 1))) ++half;
  return sign | static_cast<uint16_t>(half);
}

inline float HalfToFloat(uint16_t half) {
  const uint32_t sign = static_cast<uint32_t>(half & 0x8000) << 16;
  const uint32_t exponent = (half >> 10) & 0x1F;
  uint32_t mantissa = half & 0x3FF;
  uint32_t bits;
  if (exponent == 0) {
    if (mantissa == 0) {
      bits = sign;
    } else {  // subnormal: normalise
      int e = -1;
      do {
        ++e;
        mantissa <<= 1;
      } while (!(mantissa & 0x400));
      bits = sign | static_cast<uint32_t>(112 - e) << 23 | (mantissa & 0x3FF) << 13;
    }
  } else if (exponent == 31) {
    bits = sign | 0x7F800000 | mantissa << 13;
  } else {
    bits = sign | (exponent + 112) << 23 | mantissa << 13;
  }
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}
