#include "run_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

#include "temp_directory.h"

extern char** environ;

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

off_t FileSize(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

}  // namespace

std::string ProcessResult::Describe() const {
  return "exit " + std::to_string(exitCode) + "\n--- stdout\n" + out + "--- stderr\n" + err;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  TempDirectory capture;
  const std::string outPath = capture.File("stdout"), errPath = capture.File("stderr");

  std::vector<std::string> argStrings = {program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // An extra entry replaces the inherited one of the same name (DISPLAY for another X server, say):
  // the C library reads the first entry of a name.
  auto overridden = [&](std::string_view entry) {
    const std::string_view name = entry.substr(0, entry.find('='));
    for (const std::string& extra : options.extraEnvironment)
      if (extra.size() > name.size() && extra.compare(0, name.size(), name) == 0 &&
          extra[name.size()] == '=')
        return true;
    return false;
  };
  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry != nullptr; ++entry)
    if (!overridden(*entry)) envStrings.emplace_back(*entry);
  envStrings.insert(envStrings.end(), options.extraEnvironment.begin(),
                    options.extraEnvironment.end());
  // The program keeps its autosave in the state folder and offers left ones back at start: each
  // run gets a folder of its own unless the caller names one, so no run meets another's (nor the
  // user's) and waits on a question nobody answers.
  if (!overridden("XDG_STATE_HOME")) envStrings.push_back("XDG_STATE_HOME=" + capture.File("state"));
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const char* directory =
      options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();

  ProcessResult result;
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return result;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || (directory != nullptr && chdir(directory) != 0)) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    if (options.fileSizeLimit > 0) {
      const rlimit limit{rlim_t(options.fileSizeLimit), rlim_t(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  // A child that keeps writing output is making progress, however slowly a loaded machine lets
  // it: the limit counts from its last output.
  auto deadline = std::chrono::steady_clock::now() + options.hangLimit;
  off_t outputSeen = 0;
  int status = 0;
  size_t nextTrigger = 0;
  size_t searchFrom = 0;  // a trigger waits for its text after the previous trigger's
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    const off_t output = FileSize(outPath) + FileSize(errPath);
    if (output != outputSeen) {
      outputSeen = output;
      deadline = std::chrono::steady_clock::now() + options.hangLimit;
    }
    if (nextTrigger < options.triggers.size()) {
      const std::string& text = options.triggers[nextTrigger].text;
      const size_t found = ReadWhole(errPath).find(text, searchFrom);
      if (found != std::string::npos) {
        searchFrom = found + text.size();
        options.triggers[nextTrigger++].action(int(pid));
      }
    }
    if (done < 0 && errno != EINTR) {
      ADD_FAILURE() << "waitpid failed for " << program;
      return result;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << program << " wrote nothing for " << options.hangLimit.count()
                    << " s and did not end; killed";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  result.out = ReadWhole(outPath);
  result.err = ReadWhole(errPath);
  return result;
}

void CloseProcess(int pid) { kill(pid_t(pid), SIGTERM); }
