#version 450 core
#extension GL_GOOGLE_include_directive : require
// Lit meshes of the simple vertex layout: the floor and the tracked devices' models.
#include "scene_constants.glsl"

layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec3 inNormal;
// Three floats from the texture coordinate on, so .z is the colour word: only .xy is used.
layout(location = 2) in vec3 inTexCoord;
layout(location = 3) in vec4 inColor;

layout(location = 0) out vec3 worldPosition;
layout(location = 1) out vec3 worldNormal;
layout(location = 2) out vec2 texCoord;
layout(location = 3) out vec4 vertexColor;

void main() {
  vec4 world = scene.model * vec4(inPosition, 1.0);
  worldPosition = world.xyz;
  // The inverse transpose keeps normals perpendicular under non-uniform scale.
  worldNormal = transpose(inverse(mat3(scene.model))) * inNormal;
  texCoord = inTexCoord.xy;
  vertexColor = inColor;
  gl_Position = scene.projection * (scene.view * world);
}
