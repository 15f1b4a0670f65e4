#pragma once
// The interaction profiles the simulated controllers present and how a suggested binding lands on
// a hand: shared by the files that create actions and the files that read them.
#include <string>
#include <string_view>
#include <vector>

#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {

struct Profile {
  const char* path;
  const char* localizedName;
  std::vector<std::string_view> components;  // under /user/hand/left|right/
};

inline constexpr std::string_view kHandPrefix[2] = {"/user/hand/left", "/user/hand/right"};

// A profile the simulated controllers present; null for any other.
const Profile* FindProfile(std::string_view path);
// A presented profile or another OpenXR 1.0 one whose suggestions are accepted and never used.
bool KnownProfile(std::string_view path);
// The hand (0, 1) a binding path is under and the component after it; -1 otherwise.
int SplitHand(std::string_view path, std::string_view* component);
// A component of the profile, or an identifier that some component of it starts with.
bool ProfileHas(const Profile& profile, std::string_view component);
bool ActionAllowsHand(const Instance* instance, const Action* action, int hand);
// The action's set is attached to this session.
bool Attached(const Session* session, const Action* action);

// The action's bindings in the hand's current profile, as (binding path, component).
template <typename F>
void ForEachBinding(const Session* session, const Action* action, int hand, F&& f) {
  const Instance* instance = session->instance;
  if (session->profile[hand] == XR_NULL_PATH || !ActionAllowsHand(instance, action, hand)) return;
  const auto it = instance->suggested.find(session->profile[hand]);
  if (it == instance->suggested.end()) return;
  for (const Binding& binding : it->second) {
    std::string_view component;
    const std::string* text = PathText(instance, binding.path);
    if (binding.action == action->handle && text != nullptr &&
        SplitHand(*text, &component) == hand) {
      f(binding.path, component);
    }
  }
}

}  // namespace vr::xrsim
