#version 450 core
#extension GL_GOOGLE_include_directive : require
// The sky box: a large cube around the origin, looked up by the direction from the eye so the
// sky stays at infinity however the head moves.
#include "scene_constants.glsl"

layout(location = 0) in vec3 inPosition;

layout(location = 0) out vec3 direction;

void main() {
  vec4 world = scene.model * vec4(inPosition, 1.0);
  direction = world.xyz - scene.eyePosition;
  vec4 clip = scene.projection * (scene.view * world);
  // Pinned just inside the far plane: never clipped by it whatever the cube's size, and behind
  // everything drawn before it, which the depth test then keeps.
  gl_Position = vec4(clip.xy, clip.w * 0.99999, clip.w);
}
