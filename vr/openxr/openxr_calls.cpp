#include "vr/openxr/openxr_calls.h"

#include <cstdio>

#include "base/log.h"

namespace vr::openxr {

const char* ResultName(XrInstance instance, XrResult result) {
  thread_local char name[XR_MAX_RESULT_STRING_SIZE];
  if (instance == XR_NULL_HANDLE || XR_FAILED(xrResultToString(instance, result, name))) {
    std::snprintf(name, sizeof name, "XrResult %d", int(result));
  }
  return name;
}

bool Succeeded(XrInstance instance, XrResult result, const char* call) {
  if (XR_SUCCEEDED(result)) return true;
  Log(LogLevel::Warning, "OpenXR: %s failed: %s", call, ResultName(instance, result));
  return false;
}

}  // namespace vr::openxr
