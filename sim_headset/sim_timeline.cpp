#include "sim_headset/sim_timeline.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/log.h"
#include "sim_headset/sim_devices.h"

namespace vr::sim {
namespace {

constexpr size_t kMaxFileBytes = 16u << 20;  // far beyond any hand-written or generated script
constexpr size_t kMaxLineBytes = 4096;
constexpr int kMaxReportedErrors = 20;
constexpr size_t kMaxTokens = 16;  // more than any command takes; the rest is counted, not kept

struct ButtonName {
  const char* name;
  EVRButtonId button;
};
constexpr ButtonName kButtons[] = {
    {"menu", k_EButton_ApplicationMenu}, {"dpad_left", k_EButton_DPad_Left},
    {"dpad_up", k_EButton_DPad_Up},      {"dpad_right", k_EButton_DPad_Right},
    {"dpad_down", k_EButton_DPad_Down},  {"grip", k_EButton_Grip},
    {"system", k_EButton_System},        {"trackpad", k_EButton_Axis0},
};

struct Line {
  std::string_view tokens[kMaxTokens];
  size_t count = 0;  // may exceed kMaxTokens: only the first kMaxTokens are kept
  std::string_view Token(size_t i) const { return i < kMaxTokens ? tokens[i] : std::string_view(); }
};

class Parser {
 public:
  Parser(const std::string& path, Timeline* out) : path_(path), out_(out) {}

  void ParseLine(std::string_view text, int lineNumber) {
    line_ = lineNumber;
    if (text.size() > kMaxLineBytes) {
      Error("line is longer than %zu bytes", kMaxLineBytes);
      return;
    }
    if (const size_t hash = text.find('#'); hash != std::string_view::npos) {
      text = text.substr(0, hash);
    }
    Line line;
    size_t i = 0;
    while (i < text.size()) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c == ' ' || c == '\t' || c == '\r') {
        ++i;
        continue;
      }
      if (c < 0x20 || c == 0x7f) {
        Error("control character 0x%02x", c);
        return;
      }
      const size_t start = i;
      while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' &&
             static_cast<unsigned char>(text[i]) >= 0x20 && text[i] != 0x7f) {
        ++i;
      }
      if (line.count < kMaxTokens) {
        line.tokens[line.count] = text.substr(start, i - start);
      }
      ++line.count;
    }
    if (line.count > 0) {
      ParseCommand(line);
    }
  }

  bool Failed() const { return errors_ > 0; }

  void Finish() {
    if (errors_ > kMaxReportedErrors) {
      Log(LogLevel::Error, "%s: %d more errors not shown", path_.c_str(),
          errors_ - kMaxReportedErrors);
    }
  }

 private:
  void Error(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (++errors_ > kMaxReportedErrors) {
      return;
    }
    char what[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof(what), format, args);
    va_end(args);
    Log(LogLevel::Error, "%s:%d: %s", path_.c_str(), line_, what);
  }

  // Quoted in messages, cut so a runaway token cannot drown the message.
  static std::string Quote(std::string_view token) {
    std::string text(token.substr(0, 64));
    if (token.size() > 64) {
      text += "...";
    }
    return "'" + text + "'";
  }

  bool Number(std::string_view token, double* value) {
    std::string_view digits = token;
    if (!digits.empty() && digits[0] == '+') {
      digits.remove_prefix(1);
    }
    double parsed = 0.0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), parsed,
                                        std::chars_format::general);
    if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size() ||
        !std::isfinite(parsed) || std::fabs(parsed) > 3.0e38) {
      Error("%s is not a finite number", Quote(token).c_str());
      return false;
    }
    *value = parsed;
    return true;
  }

  bool Number(std::string_view token, float* value) {
    double parsed = 0.0;
    if (!Number(token, &parsed)) {
      return false;
    }
    *value = static_cast<float>(parsed);
    return true;
  }

  bool Numbers(const Line& line, size_t first, size_t count, float* values) {
    for (size_t i = 0; i < count; ++i) {
      if (!Number(line.Token(first + i), &values[i])) {
        return false;
      }
    }
    return true;
  }

  bool Device(std::string_view token, bool handsOnly, TrackedDeviceIndex_t* device) {
    if (token == "left") {
      *device = kLeftHandIndex;
    } else if (token == "right") {
      *device = kRightHandIndex;
    } else if (token == "head" && !handsOnly) {
      *device = kHeadIndex;
    } else if (token == "head") {
      Error("the head has no trigger or buttons (left or right)");
      return false;
    } else {
      Error("unknown device %s (%s)", Quote(token).c_str(),
            handsOnly ? "left or right" : "head, left or right");
      return false;
    }
    return true;
  }

  bool ArgumentCount(const Line& line, size_t expected, const char* usage) {
    if (line.count != expected) {
      Error("'%s' takes %s", usage, UsageArguments(usage));
      return false;
    }
    return true;
  }

  static const char* UsageArguments(std::string_view command) {
    if (command == "at") return "a frame number";
    if (command == "aim") return "a device, x y z and a target tx ty tz";
    if (command == "trigger") return "a hand and a value";
    if (command == "press" || command == "release") return "a hand and a button";
    if (command == "valid" || command == "invalid") return "a device";
    if (command == "capture") return "an eye (left or right) and a path without spaces";
    return "no arguments";
  }

  void Add(TimelineCommand command) {
    command.frame = frame_;
    command.line = line_;
    out_->commands.push_back(std::move(command));
  }

  void ParseCommand(const Line& line) {
    const std::string_view name = line.Token(0);
    TimelineCommand command;
    if (name == "at") {
      double frame = 0.0;
      if (!ArgumentCount(line, 2, "at") || !Number(line.Token(1), &frame)) {
        return;
      }
      if (frame < 0.0 || frame != std::floor(frame) || frame > 4.0e9) {
        Error("frame %s is not a whole number from 0 to 4000000000", Quote(line.Token(1)).c_str());
        return;
      }
      const uint64_t next = static_cast<uint64_t>(frame);
      if (next < frame_) {
        Error("frame %llu comes after frame %llu: frames may not decrease",
              static_cast<unsigned long long>(next), static_cast<unsigned long long>(frame_));
        return;
      }
      frame_ = next;
    } else if (name == "pose") {
      if (line.count != 5 && line.count != 8) {
        Error("'pose' takes a device, x y z and optionally yaw pitch roll");
        return;
      }
      float values[6] = {};
      if (!Device(line.Token(1), false, &command.device) ||
          !Numbers(line, 2, line.count - 2, values)) {
        return;
      }
      command.kind = TimelineCommand::Kind::Pose;
      command.pose = PoseFromAngles({values[0], values[1], values[2]}, values[3], values[4],
                                    values[5]);
      Add(std::move(command));
    } else if (name == "aim") {
      float values[6] = {};
      if (!ArgumentCount(line, 8, "aim") || !Device(line.Token(1), false, &command.device) ||
          !Numbers(line, 2, 6, values)) {
        return;
      }
      if (!PoseAimedAt({values[0], values[1], values[2]}, {values[3], values[4], values[5]},
                       &command.pose)) {
        Error("'aim' target is the device's own position");
        return;
      }
      command.kind = TimelineCommand::Kind::Pose;
      Add(std::move(command));
    } else if (name == "trigger") {
      if (!ArgumentCount(line, 3, "trigger") || !Device(line.Token(1), true, &command.device) ||
          !Number(line.Token(2), &command.value)) {
        return;
      }
      command.value = std::fmin(std::fmax(command.value, 0.0f), 1.0f);
      command.kind = TimelineCommand::Kind::Trigger;
      Add(std::move(command));
    } else if (name == "press" || name == "release") {
      if (!ArgumentCount(line, 3, name == "press" ? "press" : "release") ||
          !Device(line.Token(1), true, &command.device)) {
        return;
      }
      if (!ButtonFromName(line.Token(2), &command.button)) {
        Error("unknown button %s (menu, dpad_left, dpad_up, dpad_right, dpad_down, grip, "
              "system or trackpad)",
              Quote(line.Token(2)).c_str());
        return;
      }
      command.kind = name == "press" ? TimelineCommand::Kind::Press : TimelineCommand::Kind::Release;
      Add(std::move(command));
    } else if (name == "valid" || name == "invalid") {
      if (!ArgumentCount(line, 2, name == "valid" ? "valid" : "invalid") ||
          !Device(line.Token(1), false, &command.device)) {
        return;
      }
      command.kind = name == "valid" ? TimelineCommand::Kind::Valid : TimelineCommand::Kind::Invalid;
      Add(std::move(command));
    } else if (name == "capture") {
      if (!ArgumentCount(line, 3, "capture")) {
        return;
      }
      if (line.Token(1) == "left") {
        command.eye = Eye_Left;
      } else if (line.Token(1) == "right") {
        command.eye = Eye_Right;
      } else {
        Error("unknown eye %s (left or right)", Quote(line.Token(1)).c_str());
        return;
      }
      command.kind = TimelineCommand::Kind::Capture;
      command.path = std::string(line.Token(2));
      Add(std::move(command));
    } else if (name == "quit") {
      if (!ArgumentCount(line, 1, "quit")) {
        return;
      }
      command.kind = TimelineCommand::Kind::Quit;
      Add(std::move(command));
    } else {
      Error("unknown command %s", Quote(name).c_str());
    }
  }

  const std::string& path_;
  Timeline* out_;
  int line_ = 0;
  int errors_ = 0;
  uint64_t frame_ = 0;
};

}  // namespace

bool ButtonFromName(std::string_view name, EVRButtonId* button) {
  for (const ButtonName& entry : kButtons) {
    if (name == entry.name) {
      *button = entry.button;
      return true;
    }
  }
  return false;
}

TimelineStatus ParseTimeline(std::string_view text, const std::string& path, Timeline* out) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);  // a UTF-8 byte order mark some editors write
  }
  Timeline timeline;
  timeline.path = path;
  Parser parser(path, &timeline);
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    parser.ParseLine(line, ++lineNumber);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  parser.Finish();
  if (parser.Failed()) {
    return TimelineStatus::Malformed;
  }
  *out = std::move(timeline);
  return TimelineStatus::Ok;
}

TimelineStatus LoadTimeline(const std::string& path, Timeline* out) {
  // Opened without blocking and read only when it is a regular file: a FIFO nobody writes would
  // hold the start-up (and every signal meant to end it) in open or read forever.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    Log(LogLevel::Error, "%s:0: cannot open the timeline (%s)", path.c_str(), std::strerror(errno));
    return TimelineStatus::Unreadable;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    Log(LogLevel::Error, "%s:0: cannot read the timeline: it is not a regular file", path.c_str());
    return TimelineStatus::Unreadable;
  }
  std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(fd, "rb"), &std::fclose);
  if (file == nullptr) {
    close(fd);
    Log(LogLevel::Error, "%s:0: cannot open the timeline (%s)", path.c_str(), std::strerror(errno));
    return TimelineStatus::Unreadable;
  }
  std::string text;
  char chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) {
    if (text.size() + got > kMaxFileBytes) {
      Log(LogLevel::Error, "%s:0: the timeline is larger than %zu bytes", path.c_str(),
          kMaxFileBytes);
      return TimelineStatus::Malformed;
    }
    text.append(chunk, got);
  }
  if (std::ferror(file.get())) {
    Log(LogLevel::Error, "%s:0: cannot read the timeline (%s)", path.c_str(), std::strerror(errno));
    return TimelineStatus::Unreadable;
  }
  return ParseTimeline(text, path, out);
}

}  // namespace vr::sim
