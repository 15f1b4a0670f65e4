#pragma once
// Runs a program of the project as a child process, the way a person or a script would, with its
// standard output and error captured.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct ProcessOptions {
  // "NAME=value" entries added to the caller's. XDG_STATE_HOME is a fresh folder of the run's
  // unless given here.
  std::vector<std::string> extraEnvironment;
  std::string workingDirectory;               // empty: the caller's
  uint64_t fileSizeLimit = 0;                 // > 0: no file the child writes may grow past it
  // A hung child would hang the whole suite: once it has written no output for this long it is
  // killed and a failure recorded. A slow child that keeps writing is left to finish.
  std::chrono::seconds hangLimit{120};
  // While the child runs: once its standard error holds `text`, `action` is called once with
  // the child's process id (to send it input, or to close it), in the order given. Each text is
  // looked for after where the previous trigger's was found, so a message that comes again
  // triggers again.
  struct Trigger {
    std::string text;
    std::function<void(int pid)> action;
  };
  std::vector<Trigger> triggers;
};

// A trigger action: SIGTERM, which SDL programs receive as a window close.
void CloseProcess(int pid);

struct ProcessResult {
  int exitCode = -1;  // minus the signal number when the child was killed
  std::string out, err;
  std::string Describe() const;
};

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});
