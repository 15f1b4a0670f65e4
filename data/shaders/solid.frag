#version 450 core
#extension GL_GOOGLE_include_directive : require
// The floor and the tracked devices' models, shaded like the sculpture but with the draw's
// reflectance and roughness. Albedo is vertex colour x the draw's texture x the floor pattern
// (the floor texture's green channel; white, so 1, for every other draw) x tint. Unlike the
// sculpture's painted colours, these vertex colours are reflectances the program sets (the
// floor's dark grey), so they are taken as linear; the models' textures are sRGB textures,
// which the sampler decodes.
#include "display.glsl"
#include "lighting.glsl"

layout(binding = 0) uniform sampler2D baseTexture;
layout(binding = 2) uniform sampler2D floorTexture;

layout(location = 0) in vec3 worldPosition;
layout(location = 1) in vec3 worldNormal;
layout(location = 2) in vec2 texCoord;
layout(location = 3) in vec4 vertexColor;

layout(location = 0) out vec4 fragColor;

void main() {
  vec4 base = texture(baseTexture, texCoord);
  float pattern = texture(floorTexture, texCoord).g;
  vec3 albedo = vertexColor.rgb * base.rgb * pattern * scene.tint.rgb;

  Surface s;
  s.position = worldPosition;
  float normalLength = length(worldNormal);
  s.view = normalize(scene.eyePosition - worldPosition);
  s.normal = FacingNormal(normalLength > 0.0 ? worldNormal / normalLength : s.view, s.view);
  s.diffuseColor = albedo;
  s.f0 = scene.specularF0;
  s.roughness = FilteredRoughness(clamp(scene.roughness, 0.0, 1.0), s.normal);

  fragColor = vec4(DisplayColor(ShadeSurface(s), gl_FragCoord.xy),
                   vertexColor.a * base.a * scene.tint.a);
}
