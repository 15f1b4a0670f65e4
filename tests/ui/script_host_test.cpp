// The script host through the real Lua interpreter: loading, entry points, errors, the shared
// globals and the functions that need no panel.
#include "ui/script_host.h"

#include <lua.hpp>

#include <cstring>
#include <cmath>
#include <stdexcept>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/ui/script_test_util.h"
#include "ui/lua_binding.h"
#include "ui/script_bindings.h"

namespace {

using scripttest::AskUserRecorder;
using scripttest::ScriptFixture;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ScriptHostTest, TopLevelCodeSeesOnlyPrintWhileInitSeesEverything) {
  AskUserRecorder asked;
  ScriptFixture script;
  LogCapture log;
  script.Setup(R"(
    print("top level\n")
    topLevelLabel = type(label)
    function init() initLabel = type(label); initTestScene = type(testScene) end
  )");
  EXPECT_TRUE(script.errors().empty()) << script.ErrorText();
  EXPECT_EQ(script.host().GetString("topLevelLabel"), "nil");
  EXPECT_EQ(script.host().GetString("initLabel"), "function");
  EXPECT_EQ(script.host().GetString("initTestScene"), "function");
  EXPECT_TRUE(log.Contains("top level\n"));
  EXPECT_TRUE(asked.texts().empty());
}

TEST(ScriptHostTest, TopLevelWidgetCallFailsTheLoadAndSetupGoesOn) {
  AskUserRecorder asked;
  ScriptFixture script;
  script.Setup(R"(
    label("too early", 1, 2)
    function init() end
  )");
  // The chunk stopped before defining init, so the call of init fails as well.
  ASSERT_EQ(script.errors().size(), 2u) << script.ErrorText();
  EXPECT_EQ(script.errors()[0].status, LUA_ERRRUN);
  EXPECT_TRUE(Contains(script.errors()[0].message, "sculpt.lua:2: attempt to call a nil value "
                                                   "(global 'label')"))
      << script.ErrorText();
  EXPECT_TRUE(Contains(script.errors()[1].message, "attempt to call a nil value"));
  ASSERT_EQ(asked.texts().size(), 1u);
  EXPECT_EQ(asked.texts()[0], "Failed to load LUA file, check debug output");
}

TEST(ScriptHostTest, SyntaxErrorNamesTheFileAndLine) {
  AskUserRecorder asked;
  ScriptFixture script;
  script.Setup("function init( end\n");
  ASSERT_GE(script.errors().size(), 1u);
  EXPECT_EQ(script.errors()[0].status, LUA_ERRSYNTAX);
  EXPECT_TRUE(Contains(script.errors()[0].message, "script/sculpt.lua:1:")) << script.ErrorText();
  EXPECT_EQ(asked.texts().size(), 1u);
}

TEST(ScriptHostTest, PrecompiledChunksAreRefused) {
  AskUserRecorder asked;
  ScriptFixture script;
  script.Setup(std::string("\x1bLua\x53\x00 not really bytecode", 24));
  ASSERT_GE(script.errors().size(), 1u);
  EXPECT_EQ(script.errors()[0].status, LUA_ERRSYNTAX);
  EXPECT_TRUE(Contains(script.errors()[0].message, "binary chunk")) << script.ErrorText();
}

TEST(ScriptHostTest, FirstRootWithTheFileWinsEvenWhenBroken) {
  AskUserRecorder asked;
  TempDirectory first, second;
  first.MakeDirectory("script");
  second.MakeDirectory("script");
  first.WriteFile("script/sculpt.lua", "this is not lua");
  second.WriteFile("script/sculpt.lua", "function init() fromSecond = 1 end");
  TempDirectory empty;
  DataRoots roots;
  AddDataRoot(roots, empty.Path());  // no script here: skipped silently
  AddDataRoot(roots, first.Path());
  AddDataRoot(roots, second.Path());
  ScriptHost host({.dataRoots = &roots});
  std::vector<int> statuses;
  host.SetErrorHandler([&](int status, const std::string&, std::exception_ptr) {
    statuses.push_back(status);
  });
  host.SetupScript(nullptr);
  EXPECT_EQ(host.GetInteger("fromSecond"), 0);
  EXPECT_EQ(statuses, (std::vector<int>{LUA_ERRSYNTAX, LUA_ERRRUN}));  // the load, then init
  EXPECT_EQ(asked.texts().size(), 1u);
}

TEST(ScriptHostTest, MissingScriptIsSilentUntilTheEntryPointsAreCalled) {
  AskUserRecorder asked;
  ScriptFixture script;
  script.host().SetupScript(nullptr);  // nothing written
  ASSERT_EQ(script.errors().size(), 1u);
  EXPECT_TRUE(Contains(script.errors()[0].message, "attempt to call a nil value"));
  EXPECT_FALSE(script.host().CallFunction("processUI"));
  EXPECT_FALSE(script.host().CallFunction("renderEye", 0));
  EXPECT_EQ(script.errors().size(), 3u);
  EXPECT_TRUE(asked.texts().empty());
}

TEST(ScriptHostTest, ReloadRunsTheFileAndInitAgainOnTheSameState) {
  ScriptFixture script;
  script.Setup(R"(
    chunkRuns = (chunkRuns or 0) + 1
    function init() initRuns = (initRuns or 0) + 1; keep = keep or "first" end
  )");
  script.host().SetString("keep", "changed by the application");
  script.host().SetupScript(nullptr);
  EXPECT_TRUE(script.errors().empty()) << script.ErrorText();
  EXPECT_EQ(script.host().GetInteger("chunkRuns"), 2);
  EXPECT_EQ(script.host().GetInteger("initRuns"), 2);
  EXPECT_EQ(script.host().GetString("keep"), "changed by the application");
}

TEST(ScriptHostTest, EntryPointErrorsAreLoggedWithATracebackAndTheNextCallRuns) {
  ScriptFixture script;
  script.Setup(R"(
    calls = 0
    local function inner() error("boom") end
    function init() end
    function processUI() calls = calls + 1; if calls == 1 then inner() end end
    function renderEye(eye) lastEye = eye; eyeType = math.type(eye) end
  )");
  script.host().SetErrorHandler(nullptr);  // the application's handler: the log
  LogCapture log;
  EXPECT_FALSE(script.host().CallFunction("processUI"));
  EXPECT_TRUE(script.host().CallFunction("processUI"));
  EXPECT_EQ(script.host().GetInteger("calls"), 2);
  ASSERT_EQ(log.Messages().size(), 1u);
  const auto& [level, text] = log.Messages()[0];
  EXPECT_EQ(level, int(LogLevel::Error));
  EXPECT_TRUE(Contains(text, "lua exception (2): ")) << text;
  EXPECT_TRUE(Contains(text, "sculpt.lua:3: boom")) << text;
  EXPECT_TRUE(Contains(text, "stack traceback:")) << text;
  EXPECT_TRUE(Contains(text, "in function 'processUI'")) << text;

  EXPECT_TRUE(script.host().CallFunction("renderEye", 1));
  EXPECT_EQ(script.host().GetInteger("lastEye"), 1);
  EXPECT_EQ(script.host().GetString("eyeType"), "integer");
}

// A script that never ends a call or grows without bound is stopped with an error in that call;
// the next call runs normally.
TEST(ScriptHostTest, EndlessLoopsAndRunawayAllocationsEndTheCall) {
  struct Case {
    const char* name;
    const char* body;
    const char* error;  // in the reported message
  } cases[] = {
      {"endless loop", "while true do end", "million instructions"},
      {"loop that catches its errors", "while true do pcall(function() while true do end end) end",
       "million instructions"},
      {"string doubling", "local s = 'x' while true do s = s .. s end", "not enough memory"},
      {"one huge string", "local s = string.rep('x', 1 << 30)", "not enough memory"},
      {"table growing forever", "local t = {} local i = 0 while true do i = i + 1 t[i] = {i} end",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptFixture script;
    script.Setup(std::string("function init() end\nfunction processUI()\n") + c.body +
                 "\nend\nfunction renderEye(eye) seen = eye end\n");
    ASSERT_TRUE(script.errors().empty()) << script.ErrorText();
    EXPECT_FALSE(script.host().CallFunction("processUI"));
    ASSERT_EQ(script.errors().size(), 1u);
    EXPECT_TRUE(Contains(script.errors()[0].message, c.error)) << script.errors()[0].message;
    EXPECT_TRUE(script.host().CallFunction("renderEye", 2));
    EXPECT_EQ(script.host().GetInteger("seen"), 2);
  }
  // At load time too: setup goes on to init.
  ScriptFixture script;
  script.Setup("while true do end\nfunction init() initRan = 1 end\n");
  ASSERT_FALSE(script.errors().empty());
  EXPECT_TRUE(Contains(script.errors()[0].message, "million instructions"));
}

TEST(ScriptHostTest, ErrorValuesThatAreNotTextAreNamed) {
  struct Case {
    const char* raise;
    const char* text;
  } cases[] = {
      {"error(nil)", "<not set>"},
      {"error({})", "<error object>"},
      {"error(42)", "<error object>"},
      {"error('plain', 0)", "plain"},
  };
  for (const Case& c : cases) {
    ScriptFixture script;
    script.Setup(std::string("function init() end\nfunction processUI() ") + c.raise + " end");
    EXPECT_FALSE(script.host().CallFunction("processUI"));
    ASSERT_EQ(script.errors().size(), 1u) << c.raise;
    EXPECT_EQ(script.errors()[0].message.rfind(std::string(c.text) + "\nstack traceback:", 0), 0u)
        << c.raise << ": " << script.errors()[0].message;
  }
}

TEST(ScriptHostTest, GlobalsReadAsTheApplicationExpects) {
  ScriptFixture script;
  script.Setup(R"(
    function init()
      tool = "Sandpaper"; drawSize = 0.25; light_env = 1; whole = 2.0; half = 2.5
      numeric = "0.75"; word = "Box"; aTable = {}; count = 3
    end
  )");
  ScriptHost& host = script.host();
  EXPECT_EQ(host.GetString("tool"), "Sandpaper");
  EXPECT_EQ(host.GetString("missing"), "");
  EXPECT_EQ(host.GetString("aTable"), "");
  EXPECT_EQ(host.GetString("drawSize"), "0.25");  // a number as text
  EXPECT_EQ(host.GetString("count"), "3");
  EXPECT_EQ(host.GetString("whole"), "2.0");
  EXPECT_EQ(host.GetNumber("drawSize"), 0.25);
  EXPECT_EQ(host.GetNumber("missing"), 0.0);
  EXPECT_EQ(host.GetNumber("word"), 0.0);
  EXPECT_EQ(host.GetNumber("aTable"), 0.0);
  EXPECT_EQ(host.GetInteger("light_env"), 1);
  EXPECT_EQ(host.GetInteger("whole"), 2);
  EXPECT_EQ(host.GetInteger("half"), 0);  // not an integer
  EXPECT_EQ(host.GetInteger("missing"), 0);
  // Reading never converts the global itself.
  EXPECT_TRUE(script.host().CallFunction("init"));
  host.GetString("count");
  EXPECT_EQ(host.GetNumber("count"), 3.0);

  host.SetString("tool", "Paint");
  host.SetNumber("material_r", 0.5);
  script.root().WriteFile("script/sculpt.lua",
                          "function init() seen = tool .. ' ' .. tostring(material_r) end");
  host.SetupScript(nullptr);
  EXPECT_EQ(host.GetString("seen"), "Paint 0.5");
  EXPECT_TRUE(script.errors().empty()) << script.ErrorText();
}

TEST(ScriptHostTest, GuardedGlobalsReportInsteadOfEndingTheProcess) {
  ScriptFixture script;
  script.Setup(R"(
    function init()
      setmetatable(_G, { __index = function(_, k) error("no global " .. k) end,
                         __newindex = function(_, k) error("read-only " .. k) end })
    end
  )");
  ASSERT_TRUE(script.errors().empty()) << script.ErrorText();
  EXPECT_EQ(script.host().GetNumber("drawSize"), 0.0);
  EXPECT_EQ(script.host().GetString("tool"), "");
  script.host().SetNumber("material_r", 1.0);
  ASSERT_EQ(script.errors().size(), 3u);
  EXPECT_TRUE(Contains(script.errors()[2].message, "read-only material_r"));
  // Registration is not stopped by the metatable, and the script's own functions still run.
  script.errors().clear();
  script.host().SetupScript(nullptr);
  EXPECT_TRUE(script.errors().empty()) << script.ErrorText();
}

TEST(ScriptHostTest, PrintLogsOneStringOrNumberRaw) {
  ScriptFixture script;
  script.Setup(R"(
    function init() end
    function twoArguments() print("first", "second") end
    function integer() print(12) end
    function float() print(1.5) end
  )");
  for (auto [function, logged] : {std::pair{"twoArguments", "first"}, std::pair{"integer", "12"},
                                  std::pair{"float", "1.5"}}) {
    LogCapture log;
    EXPECT_TRUE(script.host().CallFunction(function));
    ASSERT_EQ(log.Messages().size(), 1u) << function;
    EXPECT_EQ(log.Messages()[0].first, int(LogLevel::Raw));
    EXPECT_EQ(log.Messages()[0].second, logged);
  }
}

// Calls each line through pcall and compares the error with what the script would see.
TEST(ScriptHostTest, WrongArgumentsRaiseLuaArgumentErrors) {
  struct Case {
    const char* call;
    const char* error;  // empty: no error
  } cases[] = {
      {"print(nil)", "bad argument #1 to 'print' (string expected, got nil)"},
      {"print({})", "bad argument #1 to 'print' (string expected, got table)"},
      {"print()", "bad argument #1 to 'print' (string expected, got no value)"},
      {"textButton()", "bad argument #1 to 'textButton' (string expected, got no value)"},
      {"textButton('A', 0, 0, 'wide', 1, true)",
       "bad argument #4 to 'textButton' (number expected, got string)"},
      {"picButton('plus', 0, 0, 1)", "bad argument #5 to 'picButton' (number expected, got no value)"},
      {"button('Add', nil, 0, 0, 1, 1)", "bad argument #2 to 'button' (string expected, got nil)"},
      {"label({}, 1, 2)", "bad argument #1 to 'label' (string expected, got table)"},
      {"colorPicker('material', 0, 0, 10, 10, 1.5)",
       "bad argument #6 to 'colorPicker' (number has no integer representation)"},
      {"slider('Size', 0, 0, 10, 2, 0, 1, nil)",
       "bad argument #8 to 'slider' (number expected, got nil)"},
      {"rect(0, 0, 1, 1, 1, 1, 1)", "bad argument #8 to 'rect' (number expected, got no value)"},
      {"beginPanel(0, 0, 1, false)", "bad argument #4 to 'beginPanel' (number expected, got boolean)"},
      {"setTextScale('big')", "bad argument #1 to 'setTextScale' (number expected, got string)"},
      {"load('a.sculpt')", "bad argument #2 to 'load' (number expected, got no value)"},
      {"load('a.sculpt', 0.5)", "bad argument #2 to 'load' (number has no integer representation)"},
      {"save(7 > 3)", "bad argument #1 to 'save' (string expected, got boolean)"},
      {"save('a\\0b')", "bad argument #1 to 'save' (path contains a zero byte)"},
      {"testScene()", "bad argument #1 to 'testScene' (string expected, got no value)"},
      // Conversions the functions accept: the error is the missing panel or document, after
      // every argument has been read.
      {"textButton(5, '1', 2, 3, 4)", "no panel to draw on"},
      {"load('a.sculpt', 2.0)", "no sculpture document"},
      {"curToolShape(1, 2, 3)", ""},
  };
  std::string source = "function init() end\nfunction probe()\n  result = nil\n";
  for (size_t i = 0; i < std::size(cases); ++i) {
    source += "  do local ok, err = pcall(function() " + std::string(cases[i].call) +
              " end)\n  _G['error" + std::to_string(i) + "'] = ok and '' or err end\n";
  }
  source += "end\n";
  ScriptFixture script;
  script.Setup(source);
  ASSERT_TRUE(script.host().CallFunction("probe")) << script.ErrorText();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string error = script.host().GetString(("error" + std::to_string(i)).c_str());
    if (*cases[i].error == '\0') {
      EXPECT_EQ(error, "") << cases[i].call;
    } else {
      EXPECT_TRUE(Contains(error, cases[i].error)) << cases[i].call << " gave: " << error;
    }
  }
}

TEST(ScriptHostTest, CurToolShapeIsAlwaysSphere) {
  ScriptFixture script;
  script.Setup(R"(function init() toolShape = "Box"; shape = curToolShape() end)");
  EXPECT_EQ(script.host().GetString("shape"), "sphere");
}

int ThrowStandard(lua_State*) { throw std::runtime_error("disk on fire"); }
int ThrowOther(lua_State*) { throw 42; }

TEST(LuaBindingTest, ExceptionsBecomeLuaErrorsWithATraceback) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  LuaBinding::RegisterFunction(L, "standard", LuaBinding::Guarded<ThrowStandard>);
  LuaBinding::RegisterFunction(L, "other", LuaBinding::Guarded<ThrowOther>);
  for (auto [call, text] : {std::pair{"standard()", "disk on fire\nstack traceback:"},
                            std::pair{"other()", "<Unknown exception>\nstack traceback:"}}) {
    ASSERT_EQ(luaL_loadstring(L, call), LUA_OK);
    ASSERT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRRUN);
    EXPECT_EQ(std::string(lua_tostring(L, -1)).rfind(text, 0), 0u) << lua_tostring(L, -1);
    lua_pop(L, 1);
  }
  lua_close(L);
}

TEST(ScriptBindingsTest, HsvToRgbFollowsTheHexcone) {
  struct Case {
    float h, s, v, r, g, b;
  } cases[] = {
      {0.0f, 0.0f, 0.0f, 0, 0, 0},          {0.0f, 1.0f, 1.0f, 1, 0, 0},
      {1.0f / 6, 1.0f, 1.0f, 1, 1, 0},      {2.0f / 6, 1.0f, 1.0f, 0, 1, 0},
      {0.5f, 1.0f, 1.0f, 0, 1, 1},          {4.0f / 6, 1.0f, 1.0f, 0, 0, 1},
      {5.0f / 6, 1.0f, 1.0f, 1, 0, 1},      {1.0f, 1.0f, 1.0f, 1, 0, 0},
      {0.0f, 0.5f, 0.5f, 0.5f, 0.25f, 0.25f}, {1.25f, 1.0f, 1.0f, 0.5f, 1, 0},
      {-0.75f, 1.0f, 1.0f, 0.5f, 1, 0},
  };
  for (const Case& c : cases) {
    float r, g, b;
    HsvToRgb(c.h, c.s, c.v, r, g, b);
    EXPECT_NEAR(r, c.r, 1e-5f) << c.h;
    EXPECT_NEAR(g, c.g, 1e-5f) << c.h;
    EXPECT_NEAR(b, c.b, 1e-5f) << c.h;
  }
  float r = -1, g = -1, b = -1;
  HsvToRgb(std::nanf(""), 1.0f, 1.0f, r, g, b);  // no out-of-range sector
  EXPECT_EQ(r, 1.0f);
}

TEST(ScriptBindingsTest, PackColorClampsAndTruncates) {
  EXPECT_EQ(PackColor(2, -1, 0.5, 1), 0xFF7F00FFu);
  EXPECT_EQ(PackColor(0.999, 0.004, std::nan(""), 0), 0x000001FEu);
}

}  // namespace
