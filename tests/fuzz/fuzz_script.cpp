// The panel script host given any script: loaded, its init, processUI and renderEye called. The
// instruction and memory limits must end every call; a hang or a crash is a failure.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/ask_user.h"
#include "tests/fuzz/fuzz_input_file.h"
#include "ui/script_host.h"

namespace {

AskUserAnswer Decline(const char*, const char*, AskUserButtons) { return AskUserAnswer::Cancel; }

// The fuzzer must not end its own process or touch files and programs: those functions go first.
constexpr const char* kPrelude =
    "os.exit = nil os.execute = nil os.remove = nil os.rename = nil os.tmpname = nil "
    "io = nil dofile = nil loadfile = nil require = nil package = nil\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    SetAskUserHandler(&Decline);
    return true;
  }();
  (void)ready;
  std::string script = kPrelude;
  script.append(reinterpret_cast<const char*>(data), size);
  static bool folder = [] {
    return system(("mkdir -p " + fuzz::Folder() + "script").c_str()) == 0;
  }();
  (void)folder;
  fuzz::WriteInput("script/sculpt.lua", reinterpret_cast<const uint8_t*>(script.data()),
                   script.size());
  ScriptTargets targets;
  targets.dataRoots = &fuzz::Roots();
  ScriptHost host(targets);
  host.SetErrorHandler([](int, const std::string&, std::exception_ptr) {});
  host.SetupScript(nullptr);
  host.CallFunction("processUI");
  host.CallFunction("renderEye", 0);
  host.GetString("tool");
  host.GetNumber("drawSize");
  return 0;
}
