#version 450 core
#extension GL_GOOGLE_include_directive : require
// The colour picker: a hue ring around a saturation/value square, drawn from the quad's texture
// coordinates ((0, 0) top left to (1, 1) bottom right) with the geometry the panel uses to read
// clicks: with n = (uv - 0.5) x 2, the ring is 0.8 <= |n| < 1 with hue = atan2(n.y, n.x) in
// turns, the square is |n.x|, |n.y| < 0.5 with saturation n.x + 0.5 and value 0.5 - n.y. The
// current colour is marked on both. Colours are display values, as the panel picks them; the
// output is premultiplied, as the picker pipeline blends.
#include "scene_constants.glsl"

layout(location = 0) in vec2 texCoord;
layout(location = 1) in vec4 vertexColor;

layout(location = 0) out vec4 fragColor;

const float TAU = 6.28318531;
const float kRingInner = 0.8;
const float kRingOuter = 1.0;
const float kSquareHalf = 0.5;
const float kHueMarkerOrbit = 0.9;  // the ring's centre line
const float kMarkerRadius = 0.065;
const float kMarkerOutline = 0.022;
const float kMarkerShadow = 0.014;

// Hexcone HSV, hue in turns: red, yellow, green, cyan, blue, magenta.
vec3 HsvToRgb(vec3 hsv) {
  vec3 k = clamp(abs(mod(hsv.x * 6.0 + vec3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0, 0.0, 1.0);
  return hsv.z * mix(vec3(1.0), k, hsv.y);
}

// Anti-aliased coverage of a region, given the signed distance into it and the pixel size.
float Coverage(float inside, float pixel) {
  return clamp(inside / pixel + 0.5, 0.0, 1.0);
}

// Premultiplied "over".
vec4 Layer(vec4 below, vec3 color, float coverage) {
  return vec4(color, 1.0) * coverage + below * (1.0 - coverage);
}

// A round marker: a dark rim so it shows on white, a white ring so it shows on black, and the
// colour it marks inside.
vec4 Marker(vec4 below, vec2 n, vec2 center, vec3 color, float pixel) {
  float d = length(n - center);
  below = Layer(below, vec3(0.0), 0.6 * Coverage(kMarkerRadius + kMarkerShadow - d, pixel));
  below = Layer(below, vec3(1.0), Coverage(kMarkerRadius - d, pixel));
  return Layer(below, color, Coverage(kMarkerRadius - kMarkerOutline - d, pixel));
}

void main() {
  vec2 n = (texCoord - 0.5) * 2.0;
  float pixel = max(max(fwidth(n.x), fwidth(n.y)), 1e-6);
  vec3 hsv = vec3(fract(scene.pickerHsv.x), clamp(scene.pickerHsv.yz, 0.0, 1.0));

  vec4 color = vec4(0.0);
  float radius = length(n);
  float ringHue = fract(atan(n.y, n.x) / TAU);
  float ring = Coverage(min(radius - kRingInner, kRingOuter - radius), pixel);
  color = Layer(color, HsvToRgb(vec3(ringHue, 1.0, 1.0)), ring);

  float square = Coverage(kSquareHalf - max(abs(n.x), abs(n.y)), pixel);
  vec2 sv = clamp(vec2(n.x + 0.5, 0.5 - n.y), 0.0, 1.0);
  color = Layer(color, HsvToRgb(vec3(hsv.x, sv)), square);

  float hueAngle = hsv.x * TAU;
  color = Marker(color, n, kHueMarkerOrbit * vec2(cos(hueAngle), sin(hueAngle)),
                 HsvToRgb(vec3(hsv.x, 1.0, 1.0)), pixel);
  color = Marker(color, n, vec2(hsv.y - 0.5, 0.5 - hsv.z), HsvToRgb(hsv), pixel);

  fragColor = color * vertexColor.a * vec4(vertexColor.rgb, 1.0);
}
