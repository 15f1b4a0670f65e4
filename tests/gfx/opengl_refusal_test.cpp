// Renderers the program refuses to run on, and the one way it asks the user anything.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "base/ask_user.h"
#include "gfx/opengl_context.h"
#include "gfx/sdl_ask_user.h"
#include "tests/support/log_capture.h"

namespace {

TEST(RendererRefusalTest, OnlyTheExactNamesAreRefused) {
  struct Case {
    const char* renderer;
    const char* title;  // null: accepted
    const char* text;
  };
  const Case cases[] = {
      {"GDI Generic", "No proper GL context",
       "Can't run - got GDI Generic OpenGL. Remote Desktop or no drivers?"},
      {"Intel(R) HD Graphics 620", "No nVidia GL context",
       "Can't run - got Intel OpenGL. Optimus not working?"},
      {"GDI Generic OpenGL", nullptr, nullptr},
      {"GDI Generi", nullptr, nullptr},
      {"gdi generic", nullptr, nullptr},
      {" GDI Generic", nullptr, nullptr},
      {"Intel(R) HD Graphics 6200", nullptr, nullptr},
      {"Intel(R) HD Graphics 630", nullptr, nullptr},
      {"llvmpipe (LLVM 15.0.6, 256 bits)", nullptr, nullptr},
      {"", nullptr, nullptr},
      {nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const std::string name = c.renderer != nullptr ? c.renderer : "(null)";
    const char* title = "untouched";
    const char* text = "untouched";
    const bool refused = Draw::IsRefusedRenderer(c.renderer, &title, &text);
    EXPECT_EQ(refused, c.title != nullptr) << name;
    if (c.title != nullptr) {
      EXPECT_STREQ(title, c.title) << name;
      EXPECT_STREQ(text, c.text) << name;
    } else {
      EXPECT_STREQ(title, "untouched") << name;
      EXPECT_STREQ(text, "untouched") << name;
    }
  }
  EXPECT_TRUE(Draw::IsRefusedRenderer("GDI Generic", nullptr, nullptr));
}

AskUserAnswer AnswerOnStandardError(const char* title, const char* text, AskUserButtons) {
  std::fprintf(stderr, "asked [%s] [%s]\n", title, text);
  return AskUserAnswer::Ok;
}

TEST(RendererRefusalDeathTest, RefusedRendererTellsTheUserAndExitsWithCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetAskUserHandler(&AnswerOnStandardError);
        Draw::ExitIfRefusedRenderer("GDI Generic");
        std::fprintf(stderr, "still running\n");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1),
      "asked \\[No proper GL context\\] \\[Can't run - got GDI Generic OpenGL\\. Remote Desktop or "
      "no drivers\\?\\]");
  EXPECT_EXIT(
      {
        SetAskUserHandler(&AnswerOnStandardError);
        Draw::ExitIfRefusedRenderer("Intel(R) HD Graphics 620");
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1), "asked \\[No nVidia GL context\\]");
}

TEST(RendererRefusalTest, AcceptedRendererReturnsWithoutAsking) {
  LogCapture log;
  SetAskUserHandler(&AnswerOnStandardError);
  Draw::ExitIfRefusedRenderer("GDI Generic ");
  Draw::ExitIfRefusedRenderer("llvmpipe (LLVM 15.0.6, 256 bits)");
  Draw::ExitIfRefusedRenderer(nullptr);
  SetAskUserHandler(nullptr);
  EXPECT_TRUE(log.Messages().empty());
}

TEST(AskUserTest, WithoutAHandlerTheQuestionIsLoggedAndDeclined) {
  SetAskUserHandler(nullptr);
  struct Case {
    AskUserButtons buttons;
    AskUserAnswer answer;
  };
  const Case cases[] = {{AskUserButtons::Ok, AskUserAnswer::Ok},
                        {AskUserButtons::OkCancel, AskUserAnswer::Cancel},
                        {AskUserButtons::YesNo, AskUserAnswer::No},
                        {AskUserButtons::RetryCancel, AskUserAnswer::Cancel}};
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_EQ(AskUser("Error", "Try again?", c.buttons), c.answer);
    ASSERT_EQ(log.Messages().size(), 1u);
    EXPECT_EQ(log.Messages()[0].second, "Error: Try again?");
  }
}

AskUserAnswer AlwaysRetry(const char*, const char*, AskUserButtons) {
  return AskUserAnswer::Retry;
}

TEST(AskUserTest, AnInstalledHandlerAnswersAndTheWindowSystemDoesNotReplaceIt) {
  SetAskUserHandler(nullptr);
  EXPECT_EQ(SetAskUserHandler(&AlwaysRetry), nullptr);
  InstallSdlAskUserHandler();
  EXPECT_EQ(AskUser("t", "x", AskUserButtons::RetryCancel), AskUserAnswer::Retry);
  EXPECT_EQ(SetAskUserHandler(nullptr), &AlwaysRetry);

  InstallSdlAskUserHandler();
  EXPECT_EQ(SetAskUserHandler(nullptr), &AskUserWithSdl);
}

}  // namespace
