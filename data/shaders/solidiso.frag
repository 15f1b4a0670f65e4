#version 450 core
#extension GL_GOOGLE_include_directive : require
// The sculpture, with its painted colour, metalness and roughness per vertex. Metals reflect in
// their own colour and have no diffuse lobe; everything else reflects the dielectric 4 % in white.
#include "display.glsl"
#include "lighting.glsl"

layout(location = 0) in vec3 worldPosition;
layout(location = 1) in vec3 worldNormal;
layout(location = 2) in vec3 albedo;
layout(location = 3) in vec2 metalnessRoughness;

layout(location = 0) out vec4 fragColor;

void main() {
  vec3 color = albedo * scene.tint.rgb;
  float metalness = clamp(metalnessRoughness.x, 0.0, 1.0);

  Surface s;
  s.position = worldPosition;
  float normalLength = length(worldNormal);
  s.view = normalize(scene.eyePosition - worldPosition);
  s.normal = FacingNormal(normalLength > 0.0 ? worldNormal / normalLength : s.view, s.view);
  s.diffuseColor = color * (1.0 - metalness);
  s.f0 = mix(vec3(scene.dielectricF0), color, metalness);
  s.roughness = FilteredRoughness(clamp(metalnessRoughness.y, 0.0, 1.0), s.normal);

  fragColor = vec4(DisplayColor(ShadeSurface(s), gl_FragCoord.xy), 1.0);
}
