#pragma once
// The VR runtime boundary's types and interfaces: the types, versions, result codes and
// interfaces of the OpenVR API that the VR host uses, with the same names, numbers and layouts, so
// the host reads as it would against the real SDK. Every headset behind the boundary implements
// these interfaces; the entry points that choose one are in vr/vr_runtime.h.
//
// Everything here runs on the thread that owns the OpenGL context.
#include <cstddef>
#include <cstdint>

namespace vr {

using TrackedDeviceIndex_t = uint32_t;
using TextureID_t = int32_t;

constexpr uint32_t k_unMaxTrackedDeviceCount = 16;
constexpr TrackedDeviceIndex_t k_unTrackedDeviceIndex_Hmd = 0;
constexpr TrackedDeviceIndex_t k_unTrackedDeviceIndexInvalid = 0xFFFFFFFFu;
constexpr uint32_t k_unControllerStateAxisCount = 5;

constexpr const char* IVRSystem_Version = "IVRSystem_016";
constexpr const char* IVRChaperone_Version = "IVRChaperone_003";
constexpr const char* IVRCompositor_Version = "IVRCompositor_020";
constexpr const char* IVRRenderModels_Version = "IVRRenderModels_005";

enum EVRInitError : int32_t {
  VRInitError_None = 0,
  VRInitError_Unknown = 1,
  VRInitError_Init_InstallationNotFound = 100,
  VRInitError_Init_InstallationCorrupt = 101,
  VRInitError_Init_VRClientDLLNotFound = 102,
  VRInitError_Init_FileNotFound = 103,
  VRInitError_Init_FactoryNotFound = 104,
  VRInitError_Init_InterfaceNotFound = 105,
  VRInitError_Init_InvalidInterface = 106,
  VRInitError_Init_UserConfigDirectoryInvalid = 107,
  VRInitError_Init_HmdNotFound = 108,
  VRInitError_Init_NotInitialized = 109,
};

enum EVRApplicationType : int32_t {
  VRApplication_Other = 0,
  VRApplication_Scene = 1,
  VRApplication_Overlay = 2,
  VRApplication_Background = 3,
  VRApplication_Utility = 4,
};

enum EVREye : int32_t { Eye_Left = 0, Eye_Right = 1 };

enum ETrackedDeviceClass : int32_t {
  TrackedDeviceClass_Invalid = 0,
  TrackedDeviceClass_HMD = 1,
  TrackedDeviceClass_Controller = 2,
  TrackedDeviceClass_GenericTracker = 3,
  TrackedDeviceClass_TrackingReference = 4,
  TrackedDeviceClass_DisplayRedirect = 5,
};

enum ETrackedControllerRole : int32_t {
  TrackedControllerRole_Invalid = 0,
  TrackedControllerRole_LeftHand = 1,
  TrackedControllerRole_RightHand = 2,
};

enum ETrackedDeviceProperty : int32_t {
  Prop_TrackingSystemName_String = 1000,
  Prop_ModelNumber_String = 1001,
  Prop_SerialNumber_String = 1002,
  Prop_RenderModelName_String = 1003,
  Prop_Axis0Type_Int32 = 3002,  // 3002 + k for axis k = 0..4
  Prop_Axis1Type_Int32 = 3003,
  Prop_Axis2Type_Int32 = 3004,
  Prop_Axis3Type_Int32 = 3005,
  Prop_Axis4Type_Int32 = 3006,
};

enum ETrackedPropertyError : int32_t {
  TrackedProp_Success = 0,
  TrackedProp_WrongDataType = 1,
  TrackedProp_WrongDeviceClass = 2,
  TrackedProp_BufferTooSmall = 3,
  TrackedProp_UnknownProperty = 4,
  TrackedProp_InvalidDevice = 5,
};

enum EVRControllerAxisType : int32_t {
  k_eControllerAxis_None = 0,
  k_eControllerAxis_TrackPad = 1,
  k_eControllerAxis_Joystick = 2,
  k_eControllerAxis_Trigger = 3,
};

enum EVRButtonId : int32_t {
  k_EButton_System = 0,
  k_EButton_ApplicationMenu = 1,
  k_EButton_Grip = 2,
  k_EButton_DPad_Left = 3,
  k_EButton_DPad_Up = 4,
  k_EButton_DPad_Right = 5,
  k_EButton_DPad_Down = 6,
  k_EButton_A = 7,
  k_EButton_Axis0 = 32,  // the trackpad
  k_EButton_Axis1 = 33,  // the trigger
};

constexpr uint64_t ButtonMaskFromId(EVRButtonId id) { return uint64_t(1) << unsigned(id); }

enum EVREventType : uint32_t {
  VREvent_None = 0,
  VREvent_TrackedDeviceActivated = 100,
  VREvent_TrackedDeviceDeactivated = 101,
  VREvent_TrackedDeviceUpdated = 102,
  VREvent_ButtonPress = 200,
  VREvent_ButtonUnpress = 201,
};

enum ETrackingResult : int32_t {
  TrackingResult_Uninitialized = 1,
  TrackingResult_Calibrating_InProgress = 100,
  TrackingResult_Calibrating_OutOfRange = 101,
  TrackingResult_Running_OK = 200,
  TrackingResult_Running_OutOfRange = 201,
};

// Rows of x, y, z; the translation is the fourth column.
struct HmdMatrix34_t {
  float m[3][4];
};
struct HmdMatrix44_t {
  float m[4][4];
};
struct HmdVector3_t {
  float v[3];
};

struct TrackedDevicePose_t {
  HmdMatrix34_t mDeviceToAbsoluteTracking;
  HmdVector3_t vVelocity;
  HmdVector3_t vAngularVelocity;
  ETrackingResult eTrackingResult;
  bool bPoseIsValid;
  bool bDeviceIsConnected;
};

struct VRControllerAxis_t {
  float x;
  float y;
};

// 64 bytes: the size the host passes to GetControllerState.
struct VRControllerState001_t {
  uint32_t unPacketNum;
  uint64_t ulButtonPressed;
  uint64_t ulButtonTouched;
  VRControllerAxis_t rAxis[k_unControllerStateAxisCount];
};
using VRControllerState_t = VRControllerState001_t;
static_assert(sizeof(VRControllerState_t) == 64);

struct VREvent_Controller_t {
  uint32_t button;
};
struct VREvent_Reserved_t {
  uint64_t reserved0;
  uint64_t reserved1;
  uint64_t reserved2;
};
union VREvent_Data_t {
  VREvent_Reserved_t reserved;
  VREvent_Controller_t controller;
};

// 40 bytes: the size the host passes to PollNextEvent.
struct VREvent_t {
  uint32_t eventType;  // EVREventType
  TrackedDeviceIndex_t trackedDeviceIndex;
  float eventAgeSeconds;
  VREvent_Data_t data;
};
static_assert(sizeof(VREvent_t) == 40);

enum ETextureType : int32_t { TextureType_DirectX = 0, TextureType_OpenGL = 1 };
enum EColorSpace : int32_t { ColorSpace_Auto = 0, ColorSpace_Gamma = 1, ColorSpace_Linear = 2 };

struct Texture_t {
  void* handle;  // OpenGL: the texture name, cast through uintptr_t
  ETextureType eType;
  EColorSpace eColorSpace;
};

struct VRTextureBounds_t {
  float uMin, vMin;
  float uMax, vMax;
};

enum EVRSubmitFlags : int32_t { Submit_Default = 0 };

enum EVRCompositorError : int32_t {
  VRCompositorError_None = 0,
  VRCompositorError_RequestFailed = 1,
  VRCompositorError_IncompatibleVersion = 100,
  VRCompositorError_DoNotHaveFocus = 101,
  VRCompositorError_InvalidTexture = 102,
  VRCompositorError_IsNotSceneApplication = 103,
  VRCompositorError_TextureIsOnWrongDevice = 104,
  VRCompositorError_TextureUsesUnsupportedFormat = 105,
  VRCompositorError_SharedTexturesNotSupported = 106,
  VRCompositorError_IndexOutOfRange = 107,
};

struct RenderModel_Vertex_t {
  HmdVector3_t vPosition;
  HmdVector3_t vNormal;
  float rfTextureCoord[2];
};

struct RenderModel_TextureMap_t {
  uint16_t unWidth;
  uint16_t unHeight;
  const uint8_t* rubTextureMapData;  // RGBA, 8 bits per channel, rows of width x 4 bytes
};

struct RenderModel_t {
  const RenderModel_Vertex_t* rVertexData;
  uint32_t unVertexCount;
  const uint16_t* rIndexData;
  uint32_t unTriangleCount;
  TextureID_t diffuseTextureId;
};

enum EVRRenderModelError : int32_t {
  VRRenderModelError_None = 0,
  VRRenderModelError_Loading = 100,
  VRRenderModelError_NotSupported = 200,
  VRRenderModelError_InvalidArg = 300,
  VRRenderModelError_InvalidModel = 301,
  VRRenderModelError_NoShapes = 302,
  VRRenderModelError_MultipleShapes = 303,
  VRRenderModelError_TooManyVertices = 304,
  VRRenderModelError_MultipleTextures = 305,
  VRRenderModelError_BufferTooSmall = 306,
  VRRenderModelError_NotEnoughNormals = 307,
  VRRenderModelError_NotEnoughTexCoords = 308,
  VRRenderModelError_InvalidTexture = 400,
};

class IVRSystem {
 public:
  virtual void GetRecommendedRenderTargetSize(uint32_t* width, uint32_t* height) = 0;
  virtual HmdMatrix44_t GetProjectionMatrix(EVREye eye, float nearZ, float farZ) = 0;
  virtual HmdMatrix34_t GetEyeToHeadTransform(EVREye eye) = 0;
  // Copies the property with its terminating zero when bufferSize allows and returns the length
  // including the zero (0 when the property does not exist); a buffer too small gets nothing
  // and the error TrackedProp_BufferTooSmall.
  virtual uint32_t GetStringTrackedDeviceProperty(TrackedDeviceIndex_t index,
                                                  ETrackedDeviceProperty prop, char* buffer,
                                                  uint32_t bufferSize,
                                                  ETrackedPropertyError* error) = 0;
  virtual int32_t GetInt32TrackedDeviceProperty(TrackedDeviceIndex_t index,
                                                ETrackedDeviceProperty prop,
                                                ETrackedPropertyError* error) = 0;
  virtual ETrackedDeviceClass GetTrackedDeviceClass(TrackedDeviceIndex_t index) = 0;
  virtual bool IsTrackedDeviceConnected(TrackedDeviceIndex_t index) = 0;
  virtual ETrackedControllerRole GetControllerRoleForTrackedDeviceIndex(
      TrackedDeviceIndex_t index) = 0;
  // Takes the oldest queued event; false when none is queued or eventSize is not
  // sizeof(VREvent_t).
  virtual bool PollNextEvent(VREvent_t* event, uint32_t eventSize) = 0;
  // False for a device that is not a connected controller or when stateSize is not
  // sizeof(VRControllerState_t).
  virtual bool GetControllerState(TrackedDeviceIndex_t index, VRControllerState_t* state,
                                  uint32_t stateSize) = 0;
  virtual void TriggerHapticPulse(TrackedDeviceIndex_t index, uint32_t axisId,
                                  unsigned short durationMicroseconds) = 0;

 protected:
  ~IVRSystem() = default;
};

class IVRChaperone {
 public:
  // The play area's size in metres; false when the runtime has none.
  virtual bool GetPlayAreaSize(float* sizeX, float* sizeZ) = 0;

 protected:
  ~IVRChaperone() = default;
};

class IVRCompositor {
 public:
  // Blocks until the runtime's pacing point and fills the poses of up to renderPoseCount and
  // gamePoseCount devices (either array may be null with count 0).
  virtual EVRCompositorError WaitGetPoses(TrackedDevicePose_t* renderPoses,
                                          uint32_t renderPoseCount,
                                          TrackedDevicePose_t* gamePoses,
                                          uint32_t gamePoseCount) = 0;
  virtual EVRCompositorError Submit(EVREye eye, const Texture_t* texture,
                                    const VRTextureBounds_t* bounds = nullptr,
                                    EVRSubmitFlags flags = Submit_Default) = 0;

 protected:
  ~IVRCompositor() = default;
};

class IVRRenderModels {
 public:
  // VRRenderModelError_Loading while the model is not ready yet: ask again later.
  virtual EVRRenderModelError LoadRenderModel_Async(const char* renderModelName,
                                                    RenderModel_t** renderModel) = 0;
  virtual void FreeRenderModel(RenderModel_t* renderModel) = 0;
  virtual EVRRenderModelError LoadTexture_Async(TextureID_t textureId,
                                                RenderModel_TextureMap_t** texture) = 0;
  virtual void FreeTexture(RenderModel_TextureMap_t* texture) = 0;
  virtual const char* GetRenderModelErrorNameFromEnum(EVRRenderModelError error) = 0;

 protected:
  ~IVRRenderModels() = default;
};

}  // namespace vr
