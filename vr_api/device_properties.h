#pragma once
// The rules every headset behind the runtime boundary answers device properties by: which
// properties exist, which type each has, which errors a question gets, and how a string is
// handed back.
#include <cstdint>
#include <string_view>

#include "vr_api/openvr_api.h"

namespace vr {

enum class PropertyType { String, Int32 };

// Sets *error when error is not null.
void SetPropertyError(ETrackedPropertyError* error, ETrackedPropertyError value);

// False, with *error set, when the property cannot be answered: no such connected device, a
// property unknown or of the other type, or a controller's axis type asked of the headset.
bool CanAnswerProperty(bool connected, bool controller, ETrackedDeviceProperty prop,
                       PropertyType type, ETrackedPropertyError* error);

// Copies value and its terminator into buffer when it fits; returns the bytes it needs either
// way, with *error Success or BufferTooSmall.
uint32_t AnswerStringProperty(std::string_view value, char* buffer, uint32_t bufferSize,
                              ETrackedPropertyError* error);

}  // namespace vr
