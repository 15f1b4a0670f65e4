#version 450 core
#extension GL_GOOGLE_include_directive : require
// The sculpture: vertices extracted from the grid, in grid coordinates (samples); the model
// matrix takes them to the world.
#include "display.glsl"
#include "scene_constants.glsl"

layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inGradient;  // density gradient: out of the material, not unit length
layout(location = 2) in vec4 inColor;     // painted red, green, blue (sRGB); alpha unused
layout(location = 3) in vec4 inMaterial;  // x metalness, y roughness

layout(location = 0) out vec3 worldPosition;
layout(location = 1) out vec3 worldNormal;
layout(location = 2) out vec3 albedo;  // linear
layout(location = 3) out vec2 metalnessRoughness;

void main() {
  vec4 world = scene.model * vec4(inPosition, 1.0);
  worldPosition = world.xyz;
  vec3 normal = transpose(inverse(mat3(scene.model))) * inGradient;
  float normalLength = length(normal);
  // Flat density (no gradient) has no direction; any unit vector beats a NaN.
  worldNormal = normalLength > 1e-20 ? normal / normalLength : vec3(0.0, 1.0, 0.0);
  // Decoded per vertex: colours then blend across a triangle in linear light.
  albedo = SrgbToLinear(inColor.rgb);
  metalnessRoughness = inMaterial.xy;
  gl_Position = scene.projection * (scene.view * world);
}
