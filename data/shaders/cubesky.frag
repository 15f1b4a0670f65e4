#version 450 core
#extension GL_GOOGLE_include_directive : require
// The sky: the environment's sharpest level, through the same tone curve as the lit scene so the
// sky and what it lights match.
#include "display.glsl"

layout(binding = 1) uniform samplerCube environmentMap;

layout(location = 0) in vec3 direction;

layout(location = 0) out vec4 fragColor;

void main() {
  // Level 0 explicitly: the other levels are blurred for rough reflections, not a mip chain.
  vec3 sky = textureLod(environmentMap, direction, 0.0).rgb;
  fragColor = vec4(DisplayColor(sky, gl_FragCoord.xy), 1.0);
}
