// Leak reports can name the GL driver only if it is still mapped when the leak check runs at exit:
// in the sanitizer build nothing a GL context loads may be unloaded when SDL closes it.
#include <link.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/gfx/gl_test_context.h"

namespace {

std::set<std::string> LoadedModules() {
  std::set<std::string> modules;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) {
        if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
          static_cast<std::set<std::string>*>(out)->insert(info->dlpi_name);
        }
        return 0;
      },
      &modules);
  return modules;
}

std::string Join(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += "  " + name + "\n";
  }
  return text;
}

TEST(ModulesStayLoaded, WhatAGLContextLoadedOutlivesItAndSdlVideo) {
  const std::set<std::string> before = LoadedModules();
  std::set<std::string> during;
  {
    GLTestContext gl;
    if (!gl.Ok()) {
      GTEST_SKIP() << "no display";
    }
    during = LoadedModules();
  }  // context, window and SDL's video subsystem (and with it libGL) are closed here
  const std::set<std::string> after = LoadedModules();

  std::set<std::string> broughtIn, unloaded;
  for (const std::string& name : during) {
    if (before.count(name) == 0) {
      broughtIn.insert(name);
      if (after.count(name) == 0) {
        unloaded.insert(name);
      }
    }
  }
  ASSERT_FALSE(broughtIn.empty()) << "the GL context loaded no module: nothing was checked";
  EXPECT_TRUE(unloaded.empty()) << "unloaded although leaks in them would lose their owner:\n"
                                << Join(unloaded) << "loaded by the context:\n" << Join(broughtIn);
}

}  // namespace
