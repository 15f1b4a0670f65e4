// Interaction profiles of the OpenXR simulated headset: the ones its controllers present, the
// ones merely accepted, and which profile each hand presents once action sets are attached.
#include "xr_runtime/openxr_sim_bindings.h"

#include <algorithm>
#include <iterator>

namespace vr::xrsim {
namespace {

// The profiles the simulated controllers can present, in the order they are preferred: the
// controllers are trackpad wands, closest to the Vive's.
const std::vector<Profile>& PresentedProfiles() {
  static const std::vector<Profile> profiles = {
      {"/interaction_profiles/htc/vive_controller", "Vive Controller",
       {"input/system/click", "input/squeeze/click", "input/menu/click", "input/trigger/click",
        "input/trigger/value", "input/trackpad", "input/trackpad/x", "input/trackpad/y",
        "input/trackpad/click", "input/trackpad/touch", "input/grip/pose", "input/aim/pose",
        "output/haptic"}},
      {"/interaction_profiles/valve/index_controller", "Index Controller",
       {"input/system/click", "input/system/touch", "input/a/click", "input/a/touch",
        "input/b/click", "input/b/touch", "input/squeeze/value", "input/squeeze/force",
        "input/trigger/click", "input/trigger/value", "input/trigger/touch", "input/thumbstick",
        "input/thumbstick/x", "input/thumbstick/y", "input/thumbstick/click",
        "input/thumbstick/touch", "input/trackpad", "input/trackpad/x", "input/trackpad/y",
        "input/trackpad/force", "input/trackpad/touch", "input/grip/pose", "input/aim/pose",
        "output/haptic"}},
      {"/interaction_profiles/khr/simple_controller", "Simple Controller",
       {"input/select/click", "input/menu/click", "input/grip/pose", "input/aim/pose",
        "output/haptic"}},
  };
  return profiles;
}

// Other OpenXR 1.0 interaction profiles that applications suggest for hardware this headset does
// not present: their suggestions are accepted and never used.
constexpr const char* kOtherProfiles[] = {
    "/interaction_profiles/google/daydream_controller", "/interaction_profiles/htc/vive_pro",
    "/interaction_profiles/microsoft/motion_controller",
    "/interaction_profiles/microsoft/xbox_controller", "/interaction_profiles/oculus/go_controller",
    "/interaction_profiles/oculus/touch_controller"};

}  // namespace

const Profile* FindProfile(std::string_view path) {
  for (const Profile& p : PresentedProfiles()) {
    if (path == p.path) return &p;
  }
  return nullptr;
}

bool KnownProfile(std::string_view path) {
  return FindProfile(path) != nullptr ||
         std::find(std::begin(kOtherProfiles), std::end(kOtherProfiles), path) !=
             std::end(kOtherProfiles);
}

int SplitHand(std::string_view path, std::string_view* component) {
  for (int hand = 0; hand < 2; ++hand) {
    const std::string_view prefix = kHandPrefix[hand];
    if (path.size() > prefix.size() + 1 && path.substr(0, prefix.size()) == prefix &&
        path[prefix.size()] == '/') {
      *component = path.substr(prefix.size() + 1);
      return hand;
    }
  }
  return -1;
}

bool ProfileHas(const Profile& profile, std::string_view component) {
  for (std::string_view c : profile.components) {
    if (c == component ||
        (c.size() > component.size() && c.substr(0, component.size()) == component &&
         c[component.size()] == '/')) {
      return true;
    }
  }
  return false;
}

bool ActionAllowsHand(const Instance* instance, const Action* action, int hand) {
  if (action->subactionPaths.empty()) return true;
  for (XrPath p : action->subactionPaths) {
    const std::string* text = PathText(instance, p);
    if (text != nullptr && *text == kHandPrefix[hand]) return true;
  }
  return false;
}

bool Attached(const Session* session, const Action* action) {
  return action != nullptr && action->set->attached &&
         std::find(session->attachedSets.begin(), session->attachedSets.end(),
                   action->set->handle) != session->attachedSets.end();
}

void ChooseProfiles(Session* session) {
  for (int hand = 0; hand < 2; ++hand) {
    session->profile[hand] = XR_NULL_PATH;
    for (const Profile& profile : PresentedProfiles()) {
      const auto id = session->instance->pathIds.find(profile.path);
      if (id == session->instance->pathIds.end()) continue;
      const auto it = session->instance->suggested.find(id->second);
      if (it == session->instance->suggested.end()) continue;
      const bool bindsHand =
          std::any_of(it->second.begin(), it->second.end(), [&](const Binding& b) {
            const auto* action = static_cast<const Action*>(Find(b.action, Kind::Action));
            std::string_view component;
            const std::string* text = PathText(session->instance, b.path);
            return action != nullptr && Attached(session, action) && text != nullptr &&
                   SplitHand(*text, &component) == hand;
          });
      if (bindsHand) {
        session->profile[hand] = id->second;
        break;
      }
    }
  }
}

}  // namespace vr::xrsim
