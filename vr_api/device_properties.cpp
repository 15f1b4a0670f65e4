#include "vr_api/device_properties.h"

#include <cstring>

namespace vr {
namespace {

bool IsStringProperty(ETrackedDeviceProperty prop) {
  return prop >= Prop_TrackingSystemName_String && prop <= Prop_RenderModelName_String;
}

bool IsAxisTypeProperty(ETrackedDeviceProperty prop) {
  return prop >= Prop_Axis0Type_Int32 && prop <= Prop_Axis4Type_Int32;
}

}  // namespace

void SetPropertyError(ETrackedPropertyError* error, ETrackedPropertyError value) {
  if (error != nullptr) *error = value;
}

bool CanAnswerProperty(bool connected, bool controller, ETrackedDeviceProperty prop,
                       PropertyType type, ETrackedPropertyError* error) {
  if (!connected) {
    SetPropertyError(error, TrackedProp_InvalidDevice);
    return false;
  }
  const bool isString = IsStringProperty(prop), isAxis = IsAxisTypeProperty(prop);
  const bool ofType = type == PropertyType::String ? isString : isAxis;
  if (!ofType) {
    SetPropertyError(error, isString || isAxis ? TrackedProp_WrongDataType
                                               : TrackedProp_UnknownProperty);
    return false;
  }
  if (isAxis && !controller) {
    SetPropertyError(error, TrackedProp_WrongDeviceClass);
    return false;
  }
  return true;
}

uint32_t AnswerStringProperty(std::string_view value, char* buffer, uint32_t bufferSize,
                              ETrackedPropertyError* error) {
  const uint32_t needed = uint32_t(value.size()) + 1;
  if (buffer == nullptr || bufferSize < needed) {
    SetPropertyError(error, TrackedProp_BufferTooSmall);
    return needed;
  }
  std::memcpy(buffer, value.data(), value.size());
  buffer[value.size()] = '\0';
  SetPropertyError(error, TrackedProp_Success);
  return needed;
}

}  // namespace vr
