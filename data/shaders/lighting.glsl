// Physically based shading shared by the lit shaders: a GGX (Trowbridge-Reitz) Cook-Torrance
// specular lobe with Schlick's Fresnel and the height-correlated Smith visibility, a Lambert
// diffuse lobe, the four point lights (night) or the sun (day), and image-based light from the
// environment cube map, whose mip levels hold the map pre-filtered for increasing roughness.
#ifndef LIGHTING_GLSL
#define LIGHTING_GLSL

#include "scene_constants.glsl"

layout(binding = 1) uniform samplerCube environmentMap;

const float PI = 3.14159265;
// Below this a GGX lobe is narrower than a pixel and its highlight a flickering speck.
const float kMinRoughness = 0.045;
// The sun's colour by day, when no point light is on.
const vec3 kSunColor = vec3(1.0, 0.96, 0.9);

struct Surface {
  vec3 position;      // world space
  vec3 normal;        // unit, world space
  vec3 view;          // unit, from the surface towards the eye
  vec3 diffuseColor;  // linear albedo of the diffuse lobe (zero for metals)
  vec3 f0;            // specular reflectance at normal incidence
  float roughness;    // perceptual roughness, 0..1
};

// Interpolated normals can turn slightly away from the eye near silhouettes, where they would
// shade a visible surface as if seen from behind; tilt them back just past the horizon.
vec3 FacingNormal(vec3 normal, vec3 view) {
  float NoV = dot(normal, view);
  return NoV >= 0.01 ? normal : normalize(normal + (0.01 - NoV) * view);
}

// Widens the lobe where the normal changes quickly across a pixel, so the fine facets of the
// extracted surface do not sparkle (a screen-space estimate of the normal's variance).
float FilteredRoughness(float roughness, vec3 normal) {
  vec3 du = dFdx(normal);
  vec3 dv = dFdy(normal);
  float variance = 0.25 * (dot(du, du) + dot(dv, dv));
  float kernel = min(2.0 * variance, 0.18);
  float alpha2 = clamp(roughness * roughness * roughness * roughness + kernel, 0.0, 1.0);
  return max(sqrt(sqrt(alpha2)), kMinRoughness);
}

float DistributionGgx(float NoH, float alpha) {
  float alpha2 = alpha * alpha;
  float d = (NoH * alpha2 - NoH) * NoH + 1.0;
  return alpha2 / (PI * d * d);
}

// Smith's masking-shadowing term divided by 4 NoL NoV.
float VisibilitySmithGgx(float NoV, float NoL, float alpha) {
  float alpha2 = alpha * alpha;
  float ggxV = NoL * sqrt(NoV * NoV * (1.0 - alpha2) + alpha2);
  float ggxL = NoV * sqrt(NoL * NoL * (1.0 - alpha2) + alpha2);
  return 0.5 / max(ggxV + ggxL, 1e-5);
}

vec3 FresnelSchlick(vec3 f0, float cosine) {
  float f = pow(1.0 - cosine, 5.0);
  return f0 + (vec3(1.0) - f0) * f;
}

// Light reflected towards the eye from one light whose colour is what a white diffuse surface
// facing it would reflect.
vec3 DirectLight(Surface s, vec3 toLight, vec3 color) {
  float NoL = dot(s.normal, toLight);
  if (NoL <= 0.0) return vec3(0.0);
  vec3 h = normalize(toLight + s.view);
  float NoV = max(dot(s.normal, s.view), 1e-4);
  float NoH = clamp(dot(s.normal, h), 0.0, 1.0);
  float VoH = clamp(dot(s.view, h), 0.0, 1.0);
  float alpha = s.roughness * s.roughness;
  vec3 fresnel = FresnelSchlick(s.f0, VoH);
  vec3 specular = DistributionGgx(NoH, alpha) * VisibilitySmithGgx(NoV, NoL, alpha) * fresnel;
  vec3 diffuse = (vec3(1.0) - fresnel) * s.diffuseColor / PI;
  return (diffuse + specular) * (PI * color * NoL);
}

// Karis's analytic fit of the pre-integrated split-sum environment BRDF: the share of the
// pre-filtered environment a surface reflects, Fresnel included.
vec3 EnvironmentBrdf(vec3 f0, float roughness, float NoV) {
  const vec4 c0 = vec4(-1.0, -0.0275, -0.572, 0.022);
  const vec4 c1 = vec4(1.0, 0.0425, 1.04, -0.04);
  vec4 r = roughness * c0 + c1;
  float a004 = min(r.x * r.x, exp2(-9.28 * NoV)) * r.x + r.y;
  vec2 ab = vec2(-1.04, 1.04) * a004 + r.zw;
  return f0 * ab.x + ab.y;
}

vec3 EnvironmentLight(Surface s) {
  float levels = float(textureQueryLevels(environmentMap));
  float roughestLevel = max(levels - 1.0, 0.0);
  // The level for roughness 1 is nearly a cosine-weighted average, so it stands in for an
  // irradiance map; but no level smaller than 4 x 4, whose faces would show as flat patches.
  float faceSize = float(max(textureSize(environmentMap, 0).x, 1));
  float irradianceLevel = clamp(log2(faceSize) - 2.0, 0.0, roughestLevel);
  vec3 irradiance = textureLod(environmentMap, s.normal, irradianceLevel).rgb;

  vec3 mirror = reflect(-s.view, s.normal);
  // Rough lobes lean from the mirror direction towards the normal.
  float smoothness = 1.0 - s.roughness;
  vec3 lobe = normalize(mix(s.normal, mirror, smoothness * (sqrt(smoothness) + s.roughness)));
  vec3 prefiltered = textureLod(environmentMap, lobe, s.roughness * roughestLevel).rgb;
  // Reflections from below the surface's horizon would be light that cannot reach it.
  float horizon = min(1.0 + dot(mirror, s.normal), 1.0);
  float NoV = max(dot(s.normal, s.view), 1e-4);
  vec3 specular = prefiltered * EnvironmentBrdf(s.f0, s.roughness, NoV) * horizon * horizon;
  return (s.diffuseColor * irradiance + specular) * scene.environmentIntensity;
}

// Everything that lights a surface: the point lights named by the slot bytes (night) or else
// the sun (day), plus the environment.
vec3 ShadeSurface(Surface s) {
  vec3 radiance = vec3(0.0);
  bool anyPointLight = false;
  for (int slot = 0; slot < 4; ++slot) {
    uint index = (scene.pointLightSlots >> (8u * uint(slot))) & 0xFFu;
    if (index >= 4u) continue;
    PointLight light = lights.pointLights[index];
    vec3 toLight = light.positionRange.xyz - s.position;
    float lightDistance = length(toLight);
    // The lights stand far away and fill rather than spot: no inverse-square falloff, only a
    // smooth fade to nothing at the light's range.
    float ratio = lightDistance / max(light.positionRange.w, 1e-4);
    float fade = clamp(1.0 - ratio * ratio * ratio * ratio, 0.0, 1.0);
    radiance += DirectLight(s, toLight / max(lightDistance, 1e-4), light.color.rgb * fade * fade);
    anyPointLight = true;
  }
  if (anyPointLight) {
    radiance += s.diffuseColor * scene.ambientColor.rgb;
  } else if (dot(scene.sunDirection, scene.sunDirection) > 0.0) {
    radiance += DirectLight(s, normalize(scene.sunDirection), kSunColor);
  }
  return radiance + EnvironmentLight(s);
}

#endif
