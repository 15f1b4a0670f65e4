#include "dummy_x_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

constexpr const char* kXorg = "/usr/lib/xorg/Xorg";

constexpr const char* kConfig = R"(Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
  Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125
  Modeline "1280x720" 74.25 1280 1390 1430 1650 720 725 730 750
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1920x1080" "1280x720"
  EndSubSection
EndSection
)";

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace

DummyXServer::DummyXServer() {
  if (!Exists(kXorg)) {
    error_ = std::string(kXorg) + " is not installed (xserver-xorg-core)";
    return;
  }
  dir_.WriteFile("dummy.conf", kConfig);
  int number = 70;
  while (number < 200 && (Exists("/tmp/.X" + std::to_string(number) + "-lock") ||
                          Exists("/tmp/.X11-unix/X" + std::to_string(number))))
    ++number;
  const std::string display = ":" + std::to_string(number);
  const std::string config = dir_.File("dummy.conf"), log = dir_.File("xorg.log");
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);  // not in the test's process group: a Ctrl+C reaches us, and we stop it
    execl(kXorg, kXorg, display.c_str(), "-config", config.c_str(), "-configdir",
          dir_.Path().c_str(), "-noreset", "-nolisten", "tcp", "-logfile", log.c_str(),
          "-quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid_ < 0) {
    error_ = "cannot start Xorg";
    return;
  }
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "Xorg stopped at start-up; its log: " + dir_.ReadFile("xorg.log");
      return;
    }
    if (Exists(socket)) {
      display_ = display;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  error_ = "Xorg took no connections within 20 s";
}

DummyXServer::~DummyXServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (waitpid(pid_, &status, WNOHANG) == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
  }
}
