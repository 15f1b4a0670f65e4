#pragma once
// Checking OpenXR results: a failed call is logged once with its name and the result's name.
#include <openxr/openxr.h>

namespace vr::openxr {

// True for XR_SUCCEEDED(result); otherwise logs "OpenXR: <call> failed: <result name>" (the
// instance, when there is one, names the result) and returns false.
bool Succeeded(XrInstance instance, XrResult result, const char* call);
// The result's name through the instance, or its number.
const char* ResultName(XrInstance instance, XrResult result);

}  // namespace vr::openxr
