// The simulated headset's runtime through the real Khronos loader: the loader negotiation, hostile
// calls on instances and sessions (null and stale handles, wrong structure types, too-small
// capacities), paths and strings, and the session lifecycle an application relies on.
#include <dlfcn.h>

#include "tests/xr_runtime/openxr_sim_client_fixture.h"

namespace {

using vr::xrsim::testing::XrClient;

// ------------------------------------------------------------------ negotiation

struct LoaderInfo {
  int32_t structType;
  uint32_t structVersion;
  size_t structSize;
  uint32_t minInterfaceVersion, maxInterfaceVersion;
  XrVersion minApiVersion, maxApiVersion;
};
struct RuntimeRequest {
  int32_t structType;
  uint32_t structVersion;
  size_t structSize;
  uint32_t runtimeInterfaceVersion;
  XrVersion runtimeApiVersion;
  PFN_xrGetInstanceProcAddr getInstanceProcAddr;
};

TEST(OpenXrNegotiation, AcceptsTheLoaderInterfaceAndRefusesAnythingElse) {
  void* library = dlopen(LOOMWORK_XR_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Negotiate = XrResult (*)(const LoaderInfo*, RuntimeRequest*);
  const auto negotiate =
      reinterpret_cast<Negotiate>(dlsym(library, "xrNegotiateLoaderRuntimeInterface"));
  ASSERT_NE(negotiate, nullptr);
  EXPECT_EQ(dlsym(library, "xrCreateInstance"), nullptr) << "only the negotiation is exported";
  const LoaderInfo goodInfo{1, 1, sizeof(LoaderInfo), 1, 1, XR_MAKE_VERSION(1, 0, 0),
                            XR_MAKE_VERSION(1, 0x3ff, 0xfff)};
  const RuntimeRequest goodRequest{3, 1, sizeof(RuntimeRequest), 0, 0, nullptr};
  struct Case {
    const char* what;
    std::function<void(LoaderInfo*, RuntimeRequest*)> spoil;
    XrResult expected;
  };
  const Case cases[] = {
      {"as the loader sends it", [](LoaderInfo*, RuntimeRequest*) {}, XR_SUCCESS},
      {"loader info type", [](LoaderInfo* i, RuntimeRequest*) { i->structType = 3; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"loader info version", [](LoaderInfo* i, RuntimeRequest*) { i->structVersion = 2; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"loader info size", [](LoaderInfo* i, RuntimeRequest*) { i->structSize -= 8; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"request type", [](LoaderInfo*, RuntimeRequest* r) { r->structType = 2; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"request version", [](LoaderInfo*, RuntimeRequest* r) { r->structVersion = 0; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"request size", [](LoaderInfo*, RuntimeRequest* r) { r->structSize = 8; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"interface 2 only",
       [](LoaderInfo* i, RuntimeRequest*) { i->minInterfaceVersion = i->maxInterfaceVersion = 2; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"API 2.0 only",
       [](LoaderInfo* i, RuntimeRequest*) { i->minApiVersion = XR_MAKE_VERSION(2, 0, 0); },
       XR_ERROR_INITIALIZATION_FAILED},
  };
  for (const Case& c : cases) {
    LoaderInfo info = goodInfo;
    RuntimeRequest request = goodRequest;
    c.spoil(&info, &request);
    EXPECT_EQ(negotiate(&info, &request), c.expected) << c.what;
    if (c.expected == XR_SUCCESS) {
      EXPECT_EQ(request.runtimeInterfaceVersion, 1u);
      EXPECT_NE(request.getInstanceProcAddr, nullptr);
    }
  }
  EXPECT_EQ(negotiate(nullptr, nullptr), XR_ERROR_INITIALIZATION_FAILED);
  dlclose(library);
}

// ------------------------------------------------------------------ hostile calls

TEST_F(XrClient, NullAndStaleHandlesAreRefused) {
  CreateInstance();
  CreateSession();
  const XrSpace view = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_VIEW);
  XrSpace stale = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  ASSERT_EQ(xrDestroySpace(stale), XR_SUCCESS);
  XrSwapchain staleSwapchain = Swapchain();
  ASSERT_EQ(xrDestroySwapchain(staleSwapchain), XR_SUCCESS);
  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::snprintf(setInfo.actionSetName, sizeof setInfo.actionSetName, "gone");
  std::snprintf(setInfo.localizedActionSetName, sizeof setInfo.localizedActionSetName, "Gone");
  XrActionSet staleSet = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSet(instance_, &setInfo, &staleSet), XR_SUCCESS);
  ASSERT_EQ(xrDestroyActionSet(staleSet), XR_SUCCESS);
  // A space handle passed where a session is expected is not a session.
  const XrSession wrongKind = reinterpret_cast<XrSession>(view);

  XrFrameState frame{XR_TYPE_FRAME_STATE};
  XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
  uint32_t count = 0, index = 0;
  XrActionCreateInfo actionInfo{XR_TYPE_ACTION_CREATE_INFO};
  std::snprintf(actionInfo.actionName, sizeof actionInfo.actionName, "a");
  std::snprintf(actionInfo.localizedActionName, sizeof actionInfo.localizedActionName, "A");
  actionInfo.actionType = XR_ACTION_TYPE_BOOLEAN_INPUT;
  XrAction action = XR_NULL_HANDLE;
  const std::pair<const char*, std::function<XrResult()>> calls[] = {
      {"xrWaitFrame(null)", [&] { return xrWaitFrame(XR_NULL_HANDLE, nullptr, &frame); }},
      {"xrWaitFrame(space)", [&] { return xrWaitFrame(wrongKind, nullptr, &frame); }},
      {"xrLocateSpace(stale)", [&] { return xrLocateSpace(stale, view, 1, &location); }},
      {"xrLocateSpace(base stale)", [&] { return xrLocateSpace(view, stale, 1, &location); }},
      {"xrDestroySpace(stale)", [&] { return xrDestroySpace(stale); }},
      {"xrAcquireSwapchainImage(stale)",
       [&] { return xrAcquireSwapchainImage(staleSwapchain, nullptr, &index); }},
      {"xrEnumerateReferenceSpaces(null)",
       [&] { return xrEnumerateReferenceSpaces(XR_NULL_HANDLE, 0, &count, nullptr); }},
      {"xrCreateAction(stale set)", [&] { return xrCreateAction(staleSet, &actionInfo, &action); }},
      {"xrEndSession(null)", [&] { return xrEndSession(XR_NULL_HANDLE); }},
  };
  for (const auto& [what, call] : calls) EXPECT_EQ(call(), XR_ERROR_HANDLE_INVALID) << what;

  ASSERT_EQ(xrDestroySession(session_), XR_SUCCESS);
  EXPECT_EQ(xrBeginFrame(session_, nullptr), XR_ERROR_HANDLE_INVALID) << "destroyed session";
  EXPECT_EQ(xrLocateSpace(view, view, 1, &location), XR_ERROR_HANDLE_INVALID)
      << "spaces go with their session";
}

TEST_F(XrClient, WrongStructureTypesAreValidationFailures) {
  CreateInstance();
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  XrSystemGetInfo systemInfo{XR_TYPE_SESSION_BEGIN_INFO};
  systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
  XrSystemId system = 0;
  XrSystemProperties properties{XR_TYPE_INSTANCE_PROPERTIES};
  XrEventDataBuffer event{XR_TYPE_EVENT_DATA_EVENTS_LOST};
  XrSpaceLocation location{XR_TYPE_VIEW};
  XrFrameState frame{XR_TYPE_FRAME_WAIT_INFO};
  XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_ACTION_SPACE_CREATE_INFO};
  spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_LOCAL;
  spaceInfo.poseInReferenceSpace.orientation.w = 1.0f;
  XrSpace space = XR_NULL_HANDLE;
  XrViewConfigurationView views[2] = {{XR_TYPE_VIEW_CONFIGURATION_VIEW}, {XR_TYPE_VIEW}};
  uint32_t count = 0;
  const std::pair<const char*, std::function<XrResult()>> calls[] = {
      {"xrGetSystem", [&] { return xrGetSystem(instance_, &systemInfo, &system); }},
      {"xrGetSystemProperties",
       [&] { return xrGetSystemProperties(instance_, system_, &properties); }},
      {"xrPollEvent", [&] { return xrPollEvent(instance_, &event); }},
      {"xrLocateSpace", [&] { return xrLocateSpace(stage, stage, 1, &location); }},
      {"xrWaitFrame", [&] { return xrWaitFrame(session_, nullptr, &frame); }},
      {"xrCreateReferenceSpace", [&] { return xrCreateReferenceSpace(session_, &spaceInfo, &space); }},
      {"xrEnumerateViewConfigurationViews (second element)",
       [&] {
         return xrEnumerateViewConfigurationViews(
             instance_, system_, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 2, &count, views);
       }},
  };
  for (const auto& [what, call] : calls) EXPECT_EQ(call(), XR_ERROR_VALIDATION_FAILURE) << what;
}

TEST_F(XrClient, TwoCallIdiomsReportTheCountAndRefuseSmallCapacities) {
  CreateInstance();
  CreateSession();
  const XrSwapchain swapchain = Swapchain();
  XrPath left = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/left", &left), XR_SUCCESS);
  // Each call with the capacity given, into room for 8; returns (result, count).
  struct Case {
    const char* what;
    std::function<XrResult(uint32_t capacity, uint32_t* count)> call;
    uint32_t needed;
  };
  const Case cases[] = {
      {"xrEnumerateViewConfigurationViews", [&](uint32_t capacity, uint32_t* count) {
         std::vector<XrViewConfigurationView> views(8, {XR_TYPE_VIEW_CONFIGURATION_VIEW});
         return xrEnumerateViewConfigurationViews(
             instance_, system_, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, capacity, count,
             views.data());
       }, 2},
      {"xrEnumerateReferenceSpaces", [&](uint32_t capacity, uint32_t* count) {
         XrReferenceSpaceType types[8];
         return xrEnumerateReferenceSpaces(session_, capacity, count, types);
       }, 3},
      {"xrEnumerateSwapchainFormats", [&](uint32_t capacity, uint32_t* count) {
         int64_t formats[8];
         return xrEnumerateSwapchainFormats(session_, capacity, count, formats);
       }, 2},
      {"xrEnumerateSwapchainImages", [&](uint32_t capacity, uint32_t* count) {
         std::vector<XrSwapchainImageOpenGLKHR> images(8, {XR_TYPE_SWAPCHAIN_IMAGE_OPENGL_KHR});
         return xrEnumerateSwapchainImages(
             swapchain, capacity, count,
             reinterpret_cast<XrSwapchainImageBaseHeader*>(images.data()));
       }, 3},
      {"xrPathToString", [&](uint32_t capacity, uint32_t* count) {
         char text[64];
         return xrPathToString(instance_, left, capacity, count, text);
       }, 16},
  };
  for (const Case& c : cases) {
    uint32_t count = 0;
    EXPECT_EQ(c.call(0, &count), XR_SUCCESS) << c.what;
    EXPECT_EQ(count, c.needed) << c.what;
    count = 0;
    EXPECT_EQ(c.call(c.needed - 1, &count), XR_ERROR_SIZE_INSUFFICIENT) << c.what;
    EXPECT_EQ(count, c.needed) << c.what;
    EXPECT_EQ(c.call(c.needed, &count), XR_SUCCESS) << c.what;
  }
  uint32_t count = 0;
  EXPECT_EQ(xrEnumerateReferenceSpaces(session_, 1, &count, nullptr),
            XR_ERROR_VALIDATION_FAILURE);
  EXPECT_EQ(xrEnumerateReferenceSpaces(session_, 0, nullptr, nullptr),
            XR_ERROR_VALIDATION_FAILURE);
}

TEST_F(XrClient, PathsAndStrings) {
  CreateInstance();
  XrPath path = XR_NULL_PATH, again = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/trigger/value", &path), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/trigger/value", &again), XR_SUCCESS);
  EXPECT_EQ(path, again);
  for (const char* bad : {"", "/", "user/hand", "/user/", "/user//hand", "/User", "/a/../b",
                          "/a b"}) {
    EXPECT_EQ(xrStringToPath(instance_, bad, &again), XR_ERROR_PATH_FORMAT_INVALID) << bad;
  }
  uint32_t count = 0;
  char text[XR_MAX_PATH_LENGTH];
  EXPECT_EQ(xrPathToString(instance_, path + 1000, sizeof text, &count, text),
            XR_ERROR_PATH_INVALID);
  char name[XR_MAX_RESULT_STRING_SIZE];
  const std::pair<XrResult, const char*> results[] = {
      {XR_ERROR_CALL_ORDER_INVALID, "XR_ERROR_CALL_ORDER_INVALID"},
      {XR_SESSION_LOSS_PENDING, "XR_SESSION_LOSS_PENDING"},
      {XrResult(-999999), "XR_UNKNOWN_FAILURE_-999999"},
      {XrResult(77), "XR_UNKNOWN_SUCCESS_77"}};
  for (const auto& [value, expected] : results) {
    ASSERT_EQ(xrResultToString(instance_, value, name), XR_SUCCESS);
    EXPECT_STREQ(name, expected);
  }
  char type[XR_MAX_STRUCTURE_NAME_SIZE];
  ASSERT_EQ(xrStructureTypeToString(instance_, XR_TYPE_FRAME_END_INFO, type), XR_SUCCESS);
  EXPECT_STREQ(type, "XR_TYPE_FRAME_END_INFO");
  ASSERT_EQ(xrStructureTypeToString(instance_, XrStructureType(123456789), type), XR_SUCCESS);
  EXPECT_STREQ(type, "XR_UNKNOWN_STRUCTURE_TYPE_123456789");
}

TEST_F(XrClient, AnUnusableTimelineRefusesTheInstance) {
  setenv("XR_RUNTIME_JSON", LOOMWORK_XR_SIM_MANIFEST, 1);
  const std::pair<const char*, const char*> timelines[] = {
      {"malformed", "at 2\npose elbow 0 0 0\n"}, {"missing", nullptr}};
  for (const auto& [what, text] : timelines) {
    if (text != nullptr) dir_.WriteFile("bad.txt", text);
    setenv("LOOMWORK_VR_TIMELINE", dir_.File(text != nullptr ? "bad.txt" : "absent.txt").c_str(),
           1);
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::snprintf(info.applicationInfo.applicationName, XR_MAX_APPLICATION_NAME_SIZE, "client");
    info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
    XrInstance instance = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateInstance(&info, &instance), XR_ERROR_INITIALIZATION_FAILED) << what;
  }
  unsetenv("LOOMWORK_VR_TIMELINE");
}

// --------------------------------------------------------------------- behaviour

TEST_F(XrClient, LifecycleRunsToFocusedAndExitsEitherWay) {
  for (const bool byTimeline : {false, true}) {
    SCOPED_TRACE(byTimeline ? "the timeline's quit" : "xrRequestExitSession");
    if (instance_ != XR_NULL_HANDLE) {
      ASSERT_EQ(xrDestroyInstance(instance_), XR_SUCCESS);
      instance_ = XR_NULL_HANDLE;
    }
    CreateInstance(byTimeline ? "at 3\nquit\n" : "");
    CreateSession();
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_IDLE,
                                                     XR_SESSION_STATE_READY}));
    Begin();
    EXPECT_EQ(Frame(), XR_SUCCESS);
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_SYNCHRONIZED,
                                                     XR_SESSION_STATE_VISIBLE,
                                                     XR_SESSION_STATE_FOCUSED}));
    EXPECT_EQ(Frame(), XR_SUCCESS);
    if (byTimeline) {
      EXPECT_TRUE(States().empty());
      EXPECT_EQ(Frame(), XR_SUCCESS);  // frame 3
    } else {
      EXPECT_EQ(xrRequestExitSession(session_), XR_SUCCESS);
    }
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_VISIBLE,
                                                     XR_SESSION_STATE_SYNCHRONIZED,
                                                     XR_SESSION_STATE_STOPPING}));
    EXPECT_EQ(xrEndSession(session_), XR_SUCCESS);
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_IDLE,
                                                     XR_SESSION_STATE_EXITING}));
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(xrWaitFrame(session_, nullptr, &state), XR_ERROR_SESSION_NOT_RUNNING);
    EXPECT_EQ(xrRequestExitSession(session_), XR_ERROR_SESSION_NOT_RUNNING);
  }
}

}  // namespace
