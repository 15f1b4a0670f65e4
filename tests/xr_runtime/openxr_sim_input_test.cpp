// Input on the simulated headset's runtime, through the real Khronos loader: the companion window
// whose mouse and keyboard drive the controllers when there is no timeline, and actions following
// the timeline through the Vive profile.
#include "tests/xr_runtime/openxr_sim_client_fixture.h"

namespace {

using vr::xrsim::testing::OpenDisplay;
using vr::xrsim::testing::XrClient;

// Without a timeline the runtime opens its own window, where the mouse and keyboard drive the
// controllers; closing it ends the session.
TEST_F(XrClient, CompanionWindowDrivesTheRightHandAndClosingItEndsTheSession) {
  CreateInstance();
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  XrPath right = XR_NULL_PATH, vive = XR_NULL_PATH, gripPath = XR_NULL_PATH,
         menuPath = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right", &right), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/htc/vive_controller", &vive),
            XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/grip/pose", &gripPath), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/menu/click", &menuPath), XR_SUCCESS);
  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::snprintf(setInfo.actionSetName, sizeof setInfo.actionSetName, "hands");
  std::snprintf(setInfo.localizedActionSetName, sizeof setInfo.localizedActionSetName, "Hands");
  XrActionSet set = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSet(instance_, &setInfo, &set), XR_SUCCESS);
  XrAction pose = XR_NULL_HANDLE, menu = XR_NULL_HANDLE;
  XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
  std::snprintf(info.actionName, sizeof info.actionName, "pose");
  std::snprintf(info.localizedActionName, sizeof info.localizedActionName, "Pose");
  info.actionType = XR_ACTION_TYPE_POSE_INPUT;
  ASSERT_EQ(xrCreateAction(set, &info, &pose), XR_SUCCESS);
  std::snprintf(info.actionName, sizeof info.actionName, "menu");
  std::snprintf(info.localizedActionName, sizeof info.localizedActionName, "Menu");
  info.actionType = XR_ACTION_TYPE_BOOLEAN_INPUT;
  ASSERT_EQ(xrCreateAction(set, &info, &menu), XR_SUCCESS);
  const XrActionSuggestedBinding bindings[] = {{pose, gripPath}, {menu, menuPath}};
  XrInteractionProfileSuggestedBinding suggested{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
  suggested.interactionProfile = vive;
  suggested.countSuggestedBindings = 2;
  suggested.suggestedBindings = bindings;
  ASSERT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_SUCCESS);
  XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
  attach.countActionSets = 1;
  attach.actionSets = &set;
  ASSERT_EQ(xrAttachSessionActionSets(session_, &attach), XR_SUCCESS);
  XrActionSpaceCreateInfo spaceInfo{XR_TYPE_ACTION_SPACE_CREATE_INFO};
  spaceInfo.action = pose;
  spaceInfo.poseInActionSpace.orientation.w = 1.0f;
  XrSpace hand = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSpace(session_, &spaceInfo, &hand), XR_SUCCESS);
  Begin();
  Frame();
  States();

  // The window, found by its title through a connection of the test's own.
  Display* display = OpenDisplay();
  ASSERT_NE(display, nullptr);
  Window root = DefaultRootWindow(display), parent, *children = nullptr, window = 0;
  unsigned int count = 0;
  XQueryTree(display, root, &root, &parent, &children, &count);
  for (unsigned int i = 0; i < count && window == 0; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      if (std::string(name) == "loomwork-xr-sim") window = children[i];
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  ASSERT_NE(window, 0u) << "no loomwork-xr-sim window";

  XrActiveActionSet active{set, XR_NULL_PATH};
  XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
  sync.countActiveActionSets = 1;
  sync.activeActionSets = &active;
  // The hand where the mouse points over the left eye's half of the window.
  const auto handAt = [&](int x, int y) {
    XWarpPointer(display, None, window, 0, 0, 0, 0, x, y);
    XSync(display, False);
    Frame();
    EXPECT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);
    XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
    EXPECT_EQ(xrLocateSpace(hand, stage, lastDisplayTime_, &location), XR_SUCCESS);
    EXPECT_TRUE(location.locationFlags & XR_SPACE_LOCATION_POSITION_VALID_BIT);
    return location.pose.position;
  };
  const XrVector3f left = handAt(60, 180), rightOfIt = handAt(260, 180), up = handAt(260, 40);
  EXPECT_GT(rightOfIt.x, left.x + 0.5f) << "the hand follows the mouse to the right";
  EXPECT_GT(up.y, rightOfIt.y + 0.3f) << "and up";

  // Space is the right menu button.
  XKeyEvent key{};
  key.type = KeyPress;
  key.display = display;
  key.window = window;
  key.root = root;
  key.keycode = XKeysymToKeycode(display, XK_space);
  key.same_screen = True;
  XSendEvent(display, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
  XSync(display, False);
  Frame();
  ASSERT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);
  XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
  get.action = menu;
  XrActionStateBoolean button{XR_TYPE_ACTION_STATE_BOOLEAN};
  ASSERT_EQ(xrGetActionStateBoolean(session_, &get, &button), XR_SUCCESS);
  EXPECT_TRUE(button.currentState);

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, window, False, NoEventMask, &close);
  XSync(display, False);
  XCloseDisplay(display);
  Frame();
  EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_VISIBLE,
                                                   XR_SESSION_STATE_SYNCHRONIZED,
                                                   XR_SESSION_STATE_STOPPING}));
}

TEST_F(XrClient, ActionsFollowTheTimelineThroughTheViveProfile) {
  CreateInstance(
      "at 2\n"
      "trigger right 0.75\n"
      "press right dpad_right\n"
      "press left menu\n"
      "pose right 0.5 1 0.5\n"
      "at 3\n"
      "release right dpad_right\n"
      "invalid right\n");
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  XrPath hands[2], vive, simple, unknown;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/left", &hands[0]), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right", &hands[1]), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/htc/vive_controller", &vive),
            XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/khr/simple_controller", &simple),
            XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/acme/wand", &unknown), XR_SUCCESS);

  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::snprintf(setInfo.actionSetName, sizeof setInfo.actionSetName, "sculpt");
  std::snprintf(setInfo.localizedActionSetName, sizeof setInfo.localizedActionSetName, "Sculpt");
  XrActionSet set = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSet(instance_, &setInfo, &set), XR_SUCCESS);
  EXPECT_EQ(xrCreateActionSet(instance_, &setInfo, &set), XR_ERROR_NAME_DUPLICATED);
  const auto makeAction = [&](const char* name, XrActionType type) {
    XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
    std::snprintf(info.actionName, sizeof info.actionName, "%s", name);
    std::snprintf(info.localizedActionName, sizeof info.localizedActionName, "%s", name);
    info.actionType = type;
    info.countSubactionPaths = 2;
    info.subactionPaths = hands;
    XrAction action = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateAction(set, &info, &action), XR_SUCCESS) << name;
    return action;
  };
  const XrAction trigger = makeAction("trigger", XR_ACTION_TYPE_FLOAT_INPUT);
  const XrAction menu = makeAction("menu", XR_ACTION_TYPE_BOOLEAN_INPUT);
  const XrAction pad = makeAction("pad", XR_ACTION_TYPE_VECTOR2F_INPUT);
  const XrAction pose = makeAction("pose", XR_ACTION_TYPE_POSE_INPUT);
  const XrAction buzz = makeAction("buzz", XR_ACTION_TYPE_VIBRATION_OUTPUT);
  std::vector<XrActionSuggestedBinding> bindings;
  const auto bind = [&](XrAction action, const char* path) {
    XrPath p = XR_NULL_PATH;
    ASSERT_EQ(xrStringToPath(instance_, path, &p), XR_SUCCESS) << path;
    bindings.push_back({action, p});
  };
  for (const char* hand : {"/user/hand/left", "/user/hand/right"}) {
    const std::string h(hand);
    bind(trigger, (h + "/input/trigger/value").c_str());
    bind(menu, (h + "/input/menu/click").c_str());
    bind(pad, (h + "/input/trackpad").c_str());
    bind(pose, (h + "/input/grip/pose").c_str());
    bind(buzz, (h + "/output/haptic").c_str());
  }
  XrInteractionProfileSuggestedBinding suggested{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
  suggested.interactionProfile = vive;
  suggested.countSuggestedBindings = uint32_t(bindings.size());
  suggested.suggestedBindings = bindings.data();
  ASSERT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_SUCCESS);
  // The simple controller has no trackpad; unknown profiles are refused.
  suggested.interactionProfile = simple;
  EXPECT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_ERROR_PATH_UNSUPPORTED);
  suggested.interactionProfile = unknown;
  EXPECT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_ERROR_PATH_UNSUPPORTED);

  XrActionSpaceCreateInfo spaceInfo{XR_TYPE_ACTION_SPACE_CREATE_INFO};
  spaceInfo.action = pose;
  spaceInfo.subactionPath = hands[1];
  spaceInfo.poseInActionSpace.orientation.w = 1.0f;
  XrSpace rightHand = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSpace(session_, &spaceInfo, &rightHand), XR_SUCCESS);

  XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
  get.action = trigger;
  XrActionStateFloat value{XR_TYPE_ACTION_STATE_FLOAT};
  EXPECT_EQ(xrGetActionStateFloat(session_, &get, &value), XR_ERROR_ACTIONSET_NOT_ATTACHED);
  XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
  attach.countActionSets = 1;
  attach.actionSets = &set;
  ASSERT_EQ(xrAttachSessionActionSets(session_, &attach), XR_SUCCESS);
  EXPECT_EQ(xrAttachSessionActionSets(session_, &attach), XR_ERROR_ACTIONSETS_ALREADY_ATTACHED);
  XrActionCreateInfo late{XR_TYPE_ACTION_CREATE_INFO};
  std::snprintf(late.actionName, sizeof late.actionName, "late");
  std::snprintf(late.localizedActionName, sizeof late.localizedActionName, "Late");
  late.actionType = XR_ACTION_TYPE_FLOAT_INPUT;
  XrAction lateAction = XR_NULL_HANDLE;
  EXPECT_EQ(xrCreateAction(set, &late, &lateAction), XR_ERROR_ACTIONSETS_ALREADY_ATTACHED);

  XrEventDataBuffer event{XR_TYPE_EVENT_DATA_BUFFER};
  bool profileChanged = false;
  while (xrPollEvent(instance_, &event) == XR_SUCCESS) {
    profileChanged |= event.type == XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED;
    event = {XR_TYPE_EVENT_DATA_BUFFER};
  }
  EXPECT_TRUE(profileChanged);
  for (XrPath hand : hands) {
    XrInteractionProfileState profile{XR_TYPE_INTERACTION_PROFILE_STATE};
    ASSERT_EQ(xrGetCurrentInteractionProfile(session_, hand, &profile), XR_SUCCESS);
    EXPECT_EQ(profile.interactionProfile, vive);
  }

  Begin();
  Frame();  // frame 1: focused from here on
  Frame();  // frame 2: the timeline's inputs
  XrActiveActionSet active{set, XR_NULL_PATH};
  XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
  sync.countActiveActionSets = 1;
  sync.activeActionSets = &active;
  ASSERT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);

  const std::pair<XrPath, float> triggers[] = {{hands[0], 0.0f}, {hands[1], 0.75f},
                                               {XR_NULL_PATH, 0.75f}};
  for (const auto& [hand, expected] : triggers) {
    get.subactionPath = hand;
    ASSERT_EQ(xrGetActionStateFloat(session_, &get, &value), XR_SUCCESS);
    EXPECT_TRUE(value.isActive);
    EXPECT_FLOAT_EQ(value.currentState, expected);
  }
  get.action = menu;
  get.subactionPath = hands[0];
  XrActionStateBoolean button{XR_TYPE_ACTION_STATE_BOOLEAN};
  ASSERT_EQ(xrGetActionStateBoolean(session_, &get, &button), XR_SUCCESS);
  EXPECT_TRUE(button.currentState);
  EXPECT_TRUE(button.changedSinceLastSync == XR_FALSE) << "first sync that saw it active";
  get.action = pad;
  get.subactionPath = hands[1];
  XrActionStateVector2f thumb{XR_TYPE_ACTION_STATE_VECTOR2F};
  ASSERT_EQ(xrGetActionStateVector2f(session_, &get, &thumb), XR_SUCCESS);
  EXPECT_FLOAT_EQ(thumb.currentState.x, 0.7f) << "dpad_right is the trackpad's right edge";
  EXPECT_FLOAT_EQ(thumb.currentState.y, 0.0f);
  XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
  ASSERT_EQ(xrLocateSpace(rightHand, stage, lastDisplayTime_, &location), XR_SUCCESS);
  EXPECT_TRUE(location.locationFlags & XR_SPACE_LOCATION_POSITION_TRACKED_BIT);
  EXPECT_NEAR(location.pose.position.x, 0.5f, 1e-5f);
  EXPECT_NEAR(location.pose.position.y, 1.0f, 1e-5f);
  EXPECT_NEAR(location.pose.position.z, 0.5f, 1e-5f);

  // Wrong type, undeclared subaction path, haptics.
  get.action = trigger;
  EXPECT_EQ(xrGetActionStateBoolean(session_, &get, &button), XR_ERROR_ACTION_TYPE_MISMATCH);
  XrPath head = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/head", &head), XR_SUCCESS);
  get.subactionPath = head;
  EXPECT_EQ(xrGetActionStateFloat(session_, &get, &value), XR_ERROR_PATH_UNSUPPORTED);
  XrHapticActionInfo haptic{XR_TYPE_HAPTIC_ACTION_INFO};
  haptic.action = buzz;
  haptic.subactionPath = hands[1];
  XrHapticVibration vibration{XR_TYPE_HAPTIC_VIBRATION};
  vibration.amplitude = 0.5f;
  vibration.duration = XR_MIN_HAPTIC_DURATION;
  EXPECT_EQ(xrApplyHapticFeedback(session_, &haptic,
                                  reinterpret_cast<XrHapticBaseHeader*>(&vibration)),
            XR_SUCCESS);
  haptic.action = trigger;
  EXPECT_EQ(xrApplyHapticFeedback(session_, &haptic,
                                  reinterpret_cast<XrHapticBaseHeader*>(&vibration)),
            XR_ERROR_ACTION_TYPE_MISMATCH);

  Frame();  // frame 3: the pad is let go, the right hand loses tracking
  ASSERT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);
  get.action = pad;
  get.subactionPath = hands[1];
  ASSERT_EQ(xrGetActionStateVector2f(session_, &get, &thumb), XR_SUCCESS);
  EXPECT_FLOAT_EQ(thumb.currentState.x, 0.0f);
  EXPECT_TRUE(thumb.changedSinceLastSync);
  ASSERT_EQ(xrLocateSpace(rightHand, stage, lastDisplayTime_, &location), XR_SUCCESS);
  EXPECT_EQ(location.locationFlags, 0u);
}

}  // namespace
