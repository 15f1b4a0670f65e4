// From linear light to the 8-bit window: exposure, filmic tone curve, sRGB encoding, dither.
// The framebuffer stores what it is given (no sRGB conversion on write), and the headset
// compositor takes the eye images as gamma-encoded, so the encoding happens here.
#ifndef DISPLAY_GLSL
#define DISPLAY_GLSL

const float kExposure = 1.0;

// Painted colours are picked on screen, so they are sRGB-encoded: decode them before lighting
// and the lit sculpture shows the colour the picker showed.
vec3 SrgbToLinear(vec3 c) {
  c = clamp(c, 0.0, 1.0);
  return mix(c / 12.92, pow((c + 0.055) / 1.055, vec3(2.4)), step(0.04045, c));
}

vec3 LinearToSrgb(vec3 c) {
  c = clamp(c, 0.0, 1.0);
  return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, c));
}

// Narkowicz's fit of the ACES film curve: a soft shoulder keeps highlights from clipping to flat
// white and gives the mid-tones some contrast.
vec3 ToneMapAces(vec3 x) {
  return clamp((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0);
}

// Half a step of 8-bit noise breaks up the banding of slow gradients (sky, soft shading), which
// a headset's lenses make very visible.
float Dither(vec2 fragCoord) {
  float noise = fract(52.9829189 * fract(dot(fragCoord, vec2(0.06711056, 0.00583715))));
  return (noise - 0.5) / 255.0;
}

vec3 DisplayColor(vec3 radiance, vec2 fragCoord) {
  return LinearToSrgb(ToneMapAces(radiance * kExposure)) + Dither(fragCoord);
}

#endif
