#version 450 core
#extension GL_GOOGLE_include_directive : require
// Vertex colour x texture x the draw's tint (green or red for the tool previews). Panel colours
// are chosen as they should appear, so nothing is lit, tone-mapped or encoded.
#include "scene_constants.glsl"

layout(binding = 0) uniform sampler2D baseTexture;

layout(location = 0) in vec2 texCoord;
layout(location = 1) in vec4 vertexColor;

layout(location = 0) out vec4 fragColor;

void main() {
  fragColor = vertexColor * texture(baseTexture, texCoord) * scene.tint;
}
