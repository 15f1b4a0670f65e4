#version 450 core
#extension GL_GOOGLE_include_directive : require
// Unlit meshes of the simple vertex layout: panel quads and text, tool previews; also the vertex
// stage of the colour picker, whose fragment stage reads the same outputs.
#include "scene_constants.glsl"

layout(location = 0) in vec3 inPosition;
// Three floats from the texture coordinate on, so .z is the colour word: only .xy is used.
layout(location = 2) in vec3 inTexCoord;
layout(location = 3) in vec4 inColor;

layout(location = 0) out vec2 texCoord;
layout(location = 1) out vec4 vertexColor;

void main() {
  texCoord = inTexCoord.xy;
  vertexColor = inColor;
  gl_Position = scene.projection * (scene.view * (scene.model * vec4(inPosition, 1.0)));
}
