#pragma once
// The two lighting environments' skies as linear radiance over unit directions (y up). Values
// above 1 are real: the sun and moon discs are bright enough to give sharp highlights on glossy
// material after pre-filtering.
#include "base/math_types.h"

// Night: a deep blue gradient, a faint Milky Way, stars, a moon with its halo, dark ground.
Vec3 NightSkyRadiance(Vec3 direction);

// Day: blue sky fading to a pale horizon, the sun where the scene's light comes from
// ((1, 1, 1) / sqrt(3)), a few soft clouds, distant snowy mountains, green ground under a hazy
// horizon.
Vec3 DaySkyRadiance(Vec3 direction);
