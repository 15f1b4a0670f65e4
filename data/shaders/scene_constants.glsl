// The two constant blocks every draw is fed. The application stores its matrices row by row for
// row vectors (v' = v x M); GLSL reads a mat4 column by column, so here each matrix arrives
// transposed and M * v computes exactly the application's v x M.
#ifndef SCENE_CONSTANTS_GLSL
#define SCENE_CONSTANTS_GLSL

layout(std140, binding = 0) uniform SceneConstants {
  mat4 projection;             // 0: head space to this eye's clip space
  mat4 view;                   // 64: world to head space
  mat4 model;                  // 128: this draw's object space to world
  vec3 eyePosition;            // 192: world space
  float environmentIntensity;  // 204: scale of the light taken from the environment map
  vec4 clearColor;             // 208
  float reserved224;           // 224, 228: written once at start-up; no shader needs them
  float reserved228;
  vec2 reserved232;
  vec3 sunDirection;           // 240: towards the sun, normalised; the key light by day
  float reserved252;
  vec4 reserved256;
  vec4 ambientColor;           // 272: constant fill light while the point lights are on
  uint pointLightSlots;        // 288: four bytes, each a light index (0..3) or 0xFF for none
  uint reserved292;
  uint reserved296;
  uint reserved300;
  vec4 tint;                   // 304: colour multiplier of this draw
  vec4 reserved320;
  vec3 specularF0;             // 336: reflectance at normal incidence of "solid" draws
  float reserved348;
  float roughness;             // 352: perceptual roughness of "solid" draws
  float dielectricF0;          // 356: reflectance of non-metals on the sculpture
  float reserved360;           // 360: 1 once the sculpture has been drawn
  float reserved364;
  vec3 pickerHsv;              // 368: the colour picker's hue, saturation, value, each 0..1
  float reserved380;
} scene;

struct PointLight {
  vec4 positionRange;  // world position; range in metres, where the light has faded out
  vec4 color;          // rgb; a white diffuse surface facing the light reflects this colour
};

layout(std140, binding = 1) uniform LightConstants {
  PointLight pointLights[4];
  vec4 reserved128[16];
} lights;

#endif
