// Actions of the OpenXR simulated headset: action sets, actions, suggested bindings, attaching
// the sets to a session and the interaction profile each hand then presents.
#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "xr_runtime/openxr_sim_bindings.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

bool ValidName(const char* name, size_t capacity) {
  const size_t n = strnlen(name, capacity);
  if (n == 0 || n == capacity) return false;
  for (size_t i = 0; i < n; ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.')) {
      return false;
    }
  }
  return true;
}

bool ValidLocalizedName(const char* name, size_t capacity) {
  const size_t n = strnlen(name, capacity);
  return n > 0 && n < capacity;
}

// -------------------------------------------------------------- action sets

XrResult XRAPI_CALL CreateActionSet(XrInstance handle, const XrActionSetCreateInfo* info,
                                    XrActionSet* out) {
  std::lock_guard<std::mutex> lock(Lock());
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_ACTION_SET_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!ValidName(info->actionSetName, XR_MAX_ACTION_SET_NAME_SIZE)) return XR_ERROR_NAME_INVALID;
  if (!ValidLocalizedName(info->localizedActionSetName, XR_MAX_LOCALIZED_ACTION_SET_NAME_SIZE)) {
    return XR_ERROR_LOCALIZED_NAME_INVALID;
  }
  for (uint64_t s : instance->actionSets) {
    const auto* other = static_cast<const ActionSet*>(Find(s, Kind::ActionSet));
    if (other == nullptr) continue;
    if (other->name == info->actionSetName) return XR_ERROR_NAME_DUPLICATED;
    if (other->localizedName == info->localizedActionSetName) {
      return XR_ERROR_LOCALIZED_NAME_DUPLICATED;
    }
  }
  auto set = std::make_unique<ActionSet>();
  set->instance = instance;
  set->name = info->actionSetName;
  set->localizedName = info->localizedActionSetName;
  set->priority = info->priority;
  const uint64_t id = Register(std::move(set));
  instance->actionSets.push_back(id);
  *out = ToHandle<XrActionSet>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroyActionSet(XrActionSet handle) {
  std::lock_guard<std::mutex> lock(Lock());
  ActionSet* set = Get<ActionSet>(handle, Kind::ActionSet);
  if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
  DestroyActionSetObject(set);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL CreateAction(XrActionSet handle, const XrActionCreateInfo* info,
                                 XrAction* out) {
  std::lock_guard<std::mutex> lock(Lock());
  ActionSet* set = Get<ActionSet>(handle, Kind::ActionSet);
  if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_ACTION_CREATE_INFO ||
      (info->countSubactionPaths > 0 && info->subactionPaths == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (set->attached) return XR_ERROR_ACTIONSETS_ALREADY_ATTACHED;
  switch (info->actionType) {
    case XR_ACTION_TYPE_BOOLEAN_INPUT:
    case XR_ACTION_TYPE_FLOAT_INPUT:
    case XR_ACTION_TYPE_VECTOR2F_INPUT:
    case XR_ACTION_TYPE_POSE_INPUT:
    case XR_ACTION_TYPE_VIBRATION_OUTPUT: break;
    default: return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!ValidName(info->actionName, XR_MAX_ACTION_NAME_SIZE)) return XR_ERROR_NAME_INVALID;
  if (!ValidLocalizedName(info->localizedActionName, XR_MAX_LOCALIZED_ACTION_NAME_SIZE)) {
    return XR_ERROR_LOCALIZED_NAME_INVALID;
  }
  for (uint64_t a : set->actions) {
    const auto* other = static_cast<const Action*>(Find(a, Kind::Action));
    if (other == nullptr) continue;
    if (other->name == info->actionName) return XR_ERROR_NAME_DUPLICATED;
    if (other->localizedName == info->localizedActionName) {
      return XR_ERROR_LOCALIZED_NAME_DUPLICATED;
    }
  }
  std::vector<XrPath> subactions;
  for (uint32_t i = 0; i < info->countSubactionPaths; ++i) {
    const XrPath p = info->subactionPaths[i];
    const std::string* text = PathText(set->instance, p);
    if (text == nullptr) return XR_ERROR_PATH_INVALID;
    if (*text != "/user/hand/left" && *text != "/user/hand/right" && *text != "/user/head" &&
        *text != "/user/gamepad") {
      return XR_ERROR_PATH_UNSUPPORTED;
    }
    if (std::find(subactions.begin(), subactions.end(), p) != subactions.end()) {
      return XR_ERROR_PATH_UNSUPPORTED;
    }
    subactions.push_back(p);
  }
  auto action = std::make_unique<Action>();
  action->set = set;
  action->name = info->actionName;
  action->localizedName = info->localizedActionName;
  action->type = info->actionType;
  action->subactionPaths = std::move(subactions);
  const uint64_t id = Register(std::move(action));
  set->actions.push_back(id);
  *out = ToHandle<XrAction>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroyAction(XrAction handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Action* action = Get<Action>(handle, Kind::Action);
  if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
  auto& list = action->set->actions;
  list.erase(std::remove(list.begin(), list.end(), action->handle), list.end());
  Unregister(action->handle);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL SuggestInteractionProfileBindings(
    XrInstance handle, const XrInteractionProfileSuggestedBinding* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING ||
      info->countSuggestedBindings == 0 || info->suggestedBindings == nullptr) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const std::string* profilePath = PathText(instance, info->interactionProfile);
  if (profilePath == nullptr) return XR_ERROR_PATH_INVALID;
  if (!KnownProfile(*profilePath)) return XR_ERROR_PATH_UNSUPPORTED;
  const Profile* presented = FindProfile(*profilePath);
  std::vector<Binding> bindings;
  for (uint32_t i = 0; i < info->countSuggestedBindings; ++i) {
    const XrActionSuggestedBinding& b = info->suggestedBindings[i];
    const Action* action = Get<Action>(b.action, Kind::Action);
    if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
    if (action->set->instance != instance) return XR_ERROR_VALIDATION_FAILURE;
    if (action->set->attached) return XR_ERROR_ACTIONSETS_ALREADY_ATTACHED;
    const std::string* path = PathText(instance, b.binding);
    if (path == nullptr) return XR_ERROR_PATH_INVALID;
    std::string_view component;
    if (presented != nullptr) {
      if (SplitHand(*path, &component) < 0 || !ProfileHas(*presented, component)) {
        Log(LogLevel::Error, "xrSuggestInteractionProfileBindings: %s has no %s",
            profilePath->c_str(), path->c_str());
        return XR_ERROR_PATH_UNSUPPORTED;
      }
    } else if (path->rfind("/user/", 0) != 0) {
      return XR_ERROR_PATH_UNSUPPORTED;
    }
    bindings.push_back({action->handle, b.binding});
  }
  instance->suggested[info->interactionProfile] = std::move(bindings);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL AttachSessionActionSets(XrSession handle,
                                            const XrSessionActionSetsAttachInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO ||
      info->countActionSets == 0 || info->actionSets == nullptr) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (session->actionSetsAttached) return XR_ERROR_ACTIONSETS_ALREADY_ATTACHED;
  std::vector<ActionSet*> sets;
  for (uint32_t i = 0; i < info->countActionSets; ++i) {
    ActionSet* set = Get<ActionSet>(info->actionSets[i], Kind::ActionSet);
    if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
    sets.push_back(set);
  }
  for (ActionSet* set : sets) {
    set->attached = true;
    session->attachedSets.push_back(set->handle);
  }
  session->actionSetsAttached = true;
  ChooseProfiles(session);
  if (session->profile[0] != XR_NULL_PATH || session->profile[1] != XR_NULL_PATH) {
    QueueProfileChanged(session);
  }
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetCurrentInteractionProfile(XrSession handle, XrPath topLevelUserPath,
                                                 XrInteractionProfileState* state) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (state == nullptr || state->type != XR_TYPE_INTERACTION_PROFILE_STATE) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!session->actionSetsAttached) return XR_ERROR_ACTIONSET_NOT_ATTACHED;
  const std::string* path = PathText(session->instance, topLevelUserPath);
  if (path == nullptr) return XR_ERROR_PATH_INVALID;
  if (*path == kHandPrefix[0] || *path == kHandPrefix[1]) {
    state->interactionProfile = session->profile[*path == kHandPrefix[0] ? 0 : 1];
    return XR_SUCCESS;
  }
  if (*path == "/user/head" || *path == "/user/gamepad" || *path == "/user/treadmill") {
    state->interactionProfile = XR_NULL_PATH;
    return XR_SUCCESS;
  }
  return XR_ERROR_PATH_UNSUPPORTED;
}

}  // namespace

void DestroyActionSetObject(ActionSet* set) {
  for (uint64_t a : set->actions) Unregister(a);
  auto& list = set->instance->actionSets;
  list.erase(std::remove(list.begin(), list.end(), set->handle), list.end());
  Unregister(set->handle);
}

void AddActionFunctions(FunctionTable* table) {
  XRSIM_ADD(table, CreateActionSet);
  XRSIM_ADD(table, DestroyActionSet);
  XRSIM_ADD(table, CreateAction);
  XRSIM_ADD(table, DestroyAction);
  XRSIM_ADD(table, SuggestInteractionProfileBindings);
  XRSIM_ADD(table, AttachSessionActionSets);
  XRSIM_ADD(table, GetCurrentInteractionProfile);
}

}  // namespace vr::xrsim
