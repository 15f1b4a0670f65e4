#include "x_input.h"

#include <gtest/gtest.h>


#include "run_process.h"

void SendToWindow(int pid, const std::string& windowName, const std::string& actions) {
  ProcessOptions options;
  const ProcessResult result = RunProcess(
      "/bin/sh",
      {"-c", "xdotool search --sync --onlyvisible --pid " + std::to_string(pid) + " --name '^" +
                 windowName + "$' " + actions},
      options);
  EXPECT_EQ(result.exitCode, 0) << result.Describe();
}
