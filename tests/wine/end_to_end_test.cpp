// Morlune.dll in a real Win32 runtime, seen from outside: a stand-in host loads it by name and
// calls its exports through cdecl pointers; a low-level keyboard hook sees every key event it
// injects; stand-in Morlune windows, in this process and in another, receive them.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/expected_key_map.h"
#include "tests/plugin_model.h"
#include "tests/wine/dialog_closer.h"
#include "tests/wine/stand_in_morlune_process.h"
#include "tools/hostkit/call_guard.h"
#include "tools/hostkit/cdecl_probe.h"
#include "tools/hostkit/guarded_exports.h"
#include "tools/hostkit/keyboard_capture.h"
#include "tools/hostkit/plugin_library.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/window_closer.h"

namespace {

using hostkit::CapturedKey;
using hostkit::KeyboardCapture;
using hostkit::StandInWindow;
using keytrace::FormatTrace;

constexpr std::int32_t WantedKeysMask = 0x3FF8;
constexpr unsigned DefaultSoakSeed = 20080501;
constexpr const char* AboutText =
    "Morlune 1.99+ Remote Wonder Plug-In (2008/05/01)\n"
    "\n"
    "See http://www.morlune.example/rwplugins\n"
    "for news and latest version";

// Runs this thread's messages until `done()` holds or `timeoutMs` has passed, and says which.
// Windows this thread owns must keep answering: their key input arrives here, and another
// thread's modal box disables and re-enables them.
template <typename Done>
bool PumpMessagesUntil(Done done, DWORD timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Waits until `window` has received one more marker release, so that every key event injected
// before the marker has reached it.
bool PumpUntilNextMarker(StandInWindow& window, std::size_t& markersSeen) {
  return PumpMessagesUntil([&] {
    std::size_t markers = 0;
    for (const hostkit::ReceivedKey& key : window.received()) {
      if (key.vk == KeyboardCapture::MarkerKey && key.message == WM_KEYUP) ++markers;
    }
    if (markers <= markersSeen) return false;
    markersSeen = markers;
    return true;
  });
}

std::string ReceivedTrace(const StandInWindow& window) {
  std::vector<keytrace::KeyEvent> events;
  for (const hostkit::ReceivedKey& key : window.received()) {
    if (key.vk == KeyboardCapture::MarkerKey) continue;
    events.push_back({key.vk, key.message == WM_KEYDOWN || key.message == WM_SYSKEYDOWN});
  }
  return FormatTrace(events);
}

// Finds the About box once it is up, or gives up after a while.
HWND WaitForAboutBox() {
  HWND box = nullptr;
  PumpMessagesUntil([&] { return (box = FindWindowA("#32770", "About")) != nullptr; });
  return box;
}

BOOL CALLBACK CountIfAboutBox(HWND window, LPARAM counter) {
  char className[16] = {};
  char title[16] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (std::string(className) == "#32770" && std::string(title) == "About") {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): EnumWindows passes our pointer as an LPARAM.
    ++*reinterpret_cast<int*>(counter);
  }
  return TRUE;
}

int CountAboutBoxes() {
  int count = 0;
  EnumWindows(&CountIfAboutBox, reinterpret_cast<LPARAM>(&count));
  return count;
}

// How long one call into the DLL may take before the suite gives up on it.
constexpr DWORD CallLimitMs = 10000;

// The DLL's exports, each call bounded by the guard: a DLL that faults, hangs or breaks the
// calling convention fails the suite within seconds, with the call named, instead of crashing
// or hanging it.
class GuardedDll {
 public:
  GuardedDll(hostkit::CallGuard& guard, const hostkit::PluginExports& exports)
      : exports_(guard, exports) {}

  std::int32_t WhatKeysDoYouWant() { return Checked(exports_.WhatKeysDoYouWant()); }
  std::int32_t EnumerateProgrammableFunction() {
    return Checked(exports_.EnumerateProgrammableFunction({}));
  }
  std::int32_t AreYouInFocus() { return Checked(exports_.AreYouInFocus()); }
  std::int32_t Configure(HWND owner) { return Checked(exports_.Configure(owner)); }
  std::int32_t HandleKey(std::uint32_t first, std::uint32_t keyCode, std::uint32_t keyState) {
    return Checked(exports_.HandleKey(first, keyCode, keyState));
  }

 private:
  static std::int32_t Checked(const hostkit::GuardedResult& result) {
    EXPECT_EQ(result.breach, "");
    return static_cast<std::int32_t>(result.value);
  }

  hostkit::GuardedExports exports_;
};

class EndToEnd : public ::testing::Test {
 protected:
  struct Outcome {
    std::int32_t handled;
    std::string trace;
  };

  // The markers reach the windows too: the stand-in windows wait for them.
  static void SetUpTestSuite() {
    capture = new KeyboardCapture(KeyboardCapture::Delivery::PassThrough,
                                  KeyboardCapture::Markers::Delivered);
    guard = new hostkit::CallGuard(CallLimitMs, [](const std::string& account) {
      std::fprintf(stderr, "end_to_end_test: %s: the suite cannot go on\n", account.c_str());
    });
  }
  static void TearDownTestSuite() {
    delete guard;
    guard = nullptr;
    delete capture;
    capture = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(capture->active()) << "the low-level keyboard hook could not be installed";
    ASSERT_EQ(FindWindowA(hostkit::MorluneWindowClass, nullptr), nullptr)
        << "a window of Morlune's class is already open";
    std::vector<CapturedKey> stale;
    ASSERT_TRUE(capture->Sync(stale)) << "the hook never saw the marker key";
    Reload();
  }

  // A fresh copy of the DLL: the control-digit mode starts off again.
  void Reload() {
    plugin.reset();
    std::string error;
    plugin = hostkit::PluginLibrary::Load("Morlune.dll", error);
    ASSERT_TRUE(plugin) << error;
  }

  [[nodiscard]] GuardedDll dll() const { return {*guard, plugin->exports()}; }
  // Unguarded, for calls from another thread and for the register-level probe.
  [[nodiscard]] const hostkit::PluginExports& exports() const { return plugin->exports(); }

  // Everything injected since the last call, checked for what every event must carry.
  static std::string Injected() {
    std::vector<CapturedKey> keys;
    EXPECT_TRUE(capture->Sync(keys)) << "the hook never saw the marker key";
    for (const CapturedKey& key : keys) {
      EXPECT_EQ(key.scanCode, 0u) << FormatTrace(hostkit::AsKeyEvents(keys));
      EXPECT_EQ(key.flags & LLKHF_EXTENDED, 0u) << FormatTrace(hostkit::AsKeyEvents(keys));
      EXPECT_EQ(key.extraInfo, 0u) << FormatTrace(hostkit::AsKeyEvents(keys));
    }
    return FormatTrace(hostkit::AsKeyEvents(keys));
  }

  Outcome Press(std::uint32_t keyCode, std::uint32_t keyState = 1, std::uint32_t first = 0) {
    const std::int32_t handled = dll().HandleKey(first, keyCode, keyState);
    Outcome outcome{handled, Injected()};
    ExpectNoKeyDown();
    return outcome;
  }

  static void ExpectNoKeyDown() {
    for (int vk = 1; vk < 256; ++vk) {
      // The last marker may still be on its way up when the hook has already reported it.
      if (vk == KeyboardCapture::MarkerKey) continue;
      EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0) << "key " << keytrace::KeyName(vk) << " is down";
    }
  }

  static KeyboardCapture* capture;
  static hostkit::CallGuard* guard;
  std::optional<hostkit::PluginLibrary> plugin;
};

KeyboardCapture* EndToEnd::capture = nullptr;
hostkit::CallGuard* EndToEnd::guard = nullptr;

TEST_F(EndToEnd, OneEventTravelsToMorlunesWindowInAnotherProcess) {
  StandInMorluneProcess morlune;
  std::string error;
  ASSERT_TRUE(morlune.Start(error)) << error;
  EXPECT_EQ(dll().AreYouInFocus(), 1);

  EXPECT_EQ(Press(31).trace, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑");
  std::vector<keytrace::KeyEvent> received;
  ASSERT_TRUE(morlune.WaitForNextMarker(received)) << "the stand-in never saw the marker";
  EXPECT_EQ(FormatTrace(received), "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑");

  morlune.Close();
  EXPECT_EQ(dll().AreYouInFocus(), 0);
  EXPECT_EQ(Press(31).handled, 0);
}

TEST_F(EndToEnd, EveryRowOfBothKeyTables) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  for (const ExpectedKey& row : ExpectedKeyMap) {
    Reload();
    const Outcome seen = Press(row.keyCode, row.keyState);
    EXPECT_EQ(seen.handled, 1) << "key " << row.keyCode << " state " << row.keyState;
    EXPECT_EQ(seen.trace, row.trace) << "key " << row.keyCode << " state " << row.keyState;
  }
}

TEST_F(EndToEnd, EverythingElseIsIgnored) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
  for (std::uint32_t keyCode = 0; keyCode <= 48; ++keyCode) {
    for (std::uint32_t keyState : {0u, 2u, 3u, 0x0101u, 0x0102u, 0xFF01u, 0xFFFFu}) {
      if (!FindExpectedKey(static_cast<std::uint16_t>(keyCode),
                           static_cast<std::uint16_t>(keyState))) {
        events.emplace_back(keyCode, keyState);
      }
    }
    if (!FindExpectedKey(static_cast<std::uint16_t>(keyCode), 1)) events.emplace_back(keyCode, 1);
  }
  for (std::uint32_t keyCode = 49; keyCode <= 0xFFFF; ++keyCode) {
    events.emplace_back(keyCode, 1);
    events.emplace_back(keyCode, 2);
  }

  for (auto [keyCode, keyState] : events) {
    ASSERT_EQ(dll().HandleKey(0, keyCode, keyState), 0)
        << "key " << keyCode << " state " << keyState;
  }
  EXPECT_EQ(Injected(), "(nothing)");
  EXPECT_EQ(Press(4).trace, "Num4↓ Num4↑") << "key 28 in another state switched the mode";
}

TEST_F(EndToEnd, OnlyTheLowHalvesOfKeyCodeAndStateCount) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  struct Case {
    std::uint32_t first, keyCodeArg, keyStateArg;
    std::int32_t handled;
    const char* trace;
  };
  const Case cases[] = {
      {0, 0x0001'0017, 1, 1, "F6↓ F6↑"},
      {0, 23, 0x0002'0001, 1, "F6↓ F6↑"},
      {0xDEADBEEF, 0xFFFF'001F, 0xFFFF'0001, 1, "Ctrl↓ PgDn↓ PgDn↑ Ctrl↑"},
      {0, 0x0001'0019, 0x0003'0002, 1, "F11↓ F11↑"},
      {0, 0x0001'0017, 0x0001'0000, 0, "(nothing)"},
      {0, 0x0002'0031, 1, 0, "(nothing)"},
      // Bits 8 to 15 are part of the code and the state.
      {0, 0x0117, 1, 0, "(nothing)"},
      {0, 23, 0x0101, 0, "(nothing)"},
      {0, 25, 0x0102, 0, "(nothing)"},
  };
  for (const Case& c : cases) {
    const Outcome seen = Press(c.keyCodeArg, c.keyStateArg, c.first);
    EXPECT_EQ(seen.handled, c.handled) << std::hex << c.keyCodeArg << " / " << c.keyStateArg;
    EXPECT_EQ(seen.trace, c.trace) << std::hex << c.keyCodeArg << " / " << c.keyStateArg;
  }
}

struct Step {
  std::uint16_t keyCode;
  std::uint16_t keyState;
  bool targetPresent;
  std::int32_t handled;
  const char* trace;
};

struct Scenario {
  const char* name;
  std::vector<Step> steps;
};

TEST_F(EndToEnd, ControlDigitScenarios) {
  const char* ctrl1 = "Ctrl↓ Num1↓ Num1↑ Ctrl↑";
  const char* ctrl4 = "Ctrl↓ Num4↓ Num4↑ Ctrl↑";
  const char* plain4 = "Num4↓ Num4↑";
  const char* none = "(nothing)";
  const Scenario scenarios[] = {
      {"28 then four digits",
       {{28, 1, true, 1, none},
        {1, 1, true, 1, ctrl1},
        {2, 1, true, 1, "Ctrl↓ Num2↓ Num2↑ Ctrl↑"},
        {3, 1, true, 1, "Ctrl↓ Num3↓ Num3↑ Ctrl↑"},
        {4, 1, true, 1, plain4}}},
      {"28, digit, 28: off, then a fresh three",
       {{28, 1, true, 1, none},
        {4, 1, true, 1, ctrl4},
        {28, 1, true, 1, none},
        {4, 1, true, 1, plain4},
        {28, 1, true, 1, none},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, plain4}}},
      {"mode on: 23 and 30 neither use nor advance it",
       {{28, 1, true, 1, none},
        {1, 1, true, 1, ctrl1},
        {23, 1, true, 1, "F6↓ F6↑"},
        {30, 1, true, 1, "Ctrl↓ PgUp↓ PgUp↑ Ctrl↑"},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, plain4}}},
      {"a digit in state 2 does nothing",
       {{28, 1, true, 1, none},
        {4, 2, true, 0, none},
        {28, 2, true, 0, none},
        {4, 1, true, 1, ctrl4}}},
      {"events while the target is absent leave the mode alone",
       {{28, 1, true, 1, none},
        {4, 1, true, 1, ctrl4},
        {4, 1, false, 0, none},
        {28, 1, false, 0, none},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, ctrl4},
        {4, 1, true, 1, plain4}}},
      {"28 twice leaves it off",
       {{28, 1, true, 1, none}, {28, 1, true, 1, none}, {4, 1, true, 1, plain4}}},
  };
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    Reload();
    std::optional<StandInWindow> morlune;
    for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
      const Step& step = scenario.steps[i];
      if (step.targetPresent && !morlune) morlune.emplace();
      if (!step.targetPresent) morlune.reset();
      const Outcome seen = Press(step.keyCode, step.keyState);
      EXPECT_EQ(seen.handled, step.handled)
          << "step " << i << ": key " << step.keyCode << " state " << step.keyState;
      EXPECT_EQ(seen.trace, step.trace)
          << "step " << i << ": key " << step.keyCode << " state " << step.keyState;
    }
  }
}

TEST_F(EndToEnd, WithoutTargetNothingIsHandledOrSent) {
  EXPECT_EQ(dll().AreYouInFocus(), 0);
  for (std::uint32_t keyState : {1u, 2u}) {
    for (std::uint32_t keyCode = 0; keyCode <= 48; ++keyCode) {
      EXPECT_EQ(dll().HandleKey(0, keyCode, keyState), 0)
          << "key " << keyCode << " state " << keyState;
    }
  }
  EXPECT_EQ(Injected(), "(nothing)");
  ExpectNoKeyDown();
}

TEST_F(EndToEnd, TargetInTheBackgroundStillCountsAndKeysGoToTheFrontWindow) {
  StandInWindow morlune;
  StandInWindow front("Another application", "MorluneTestOtherApp");
  ASSERT_TRUE(morlune.valid() && front.valid());
  morlune.BringToFront();
  front.BringToFront();
  std::size_t frontMarkers = 0;

  EXPECT_EQ(dll().AreYouInFocus(), 1);
  EXPECT_EQ(Press(23).trace, "F6↓ F6↑");
  ASSERT_TRUE(PumpUntilNextMarker(front, frontMarkers)) << "the front window never saw the marker";
  EXPECT_EQ(ReceivedTrace(front), "F6↓ F6↑");
  EXPECT_EQ(ReceivedTrace(morlune), "(nothing)");
}

TEST_F(EndToEnd, ConfigureShowsTheAboutBoxAndReturnsItsResult) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  Press(28);  // mode on: the box must not change it

  std::atomic<std::int32_t> result{-1};
  std::atomic<bool> returned{false};
  std::thread host([&] {
    result = exports().Configure(morlune.handle());
    returned = true;
  });
  // However the test ends, the box goes and the host thread returns, or the suite ends.
  struct Joiner {
    std::thread& thread;
    std::atomic<bool>& returned;
    ~Joiner() {
      const bool ended = PumpMessagesUntil(
          [&] {
            CloseDialogsOfThisProcess();
            return returned.load();
          },
          CallLimitMs);
      if (!ended) {
        std::fprintf(stderr, "end_to_end_test: Configure did not return: the suite cannot go on\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 1);
      }
      thread.join();
    }
  } joiner{host, returned};
  HWND box = WaitForAboutBox();
  ASSERT_NE(box, nullptr) << "no About box appeared";
  EXPECT_EQ(CountAboutBoxes(), 1);
  EXPECT_EQ(GetWindow(box, GW_OWNER), morlune.handle());

  std::vector<std::string> buttons;
  std::vector<std::string> texts;
  bool icon = false;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    char className[32] = {};
    char text[512] = {};
    GetClassNameA(child, className, sizeof className);
    GetWindowTextA(child, text, sizeof text);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (!(style & WS_VISIBLE)) continue;
    if (_stricmp(className, "Button") == 0) buttons.emplace_back(text);
    if (_stricmp(className, "Static") == 0) {
      // The dialog template may keep an icon control; only an icon loaded into it shows.
      if ((style & SS_TYPEMASK) == SS_ICON) {
        icon = icon || SendMessageA(child, STM_GETICON, 0, 0) != 0;
      } else {
        texts.emplace_back(text);
      }
    }
  }
  EXPECT_EQ(buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(texts, std::vector<std::string>{AboutText});
  EXPECT_FALSE(icon) << "the box shows an icon";

  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(PumpMessagesUntil([&] { return returned.load(); }))
      << "Configure did not return after OK";
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(Press(4).trace, "Ctrl↓ Num4↓ Num4↑ Ctrl↑") << "Configure changed the mode";
}

// When the box cannot be shown, the host must hear so: Configure passes on what MessageBoxA
// returned (0 on Windows, -1 under Wine) and no box appears.
TEST_F(EndToEnd, ConfigurePassesOnTheResultOfABoxThatCannotBeShown) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  Press(28);  // mode on: a failed box must not change it either
  // NOLINTNEXTLINE(performance-no-int-to-ptr): a handle value that names no window.
  HWND notAWindow = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00DEAD00));
  ASSERT_FALSE(IsWindow(notAWindow));

  // Any box that does appear is closed and counted, so a wrong answer cannot hang the suite.
  hostkit::WindowCloser closer;
  const int expected = MessageBoxA(notAWindow, "probe", "probe", MB_OK);
  ASSERT_TRUE(closer.Stop().empty()) << "MessageBoxA showed a box for an owner that is no window";
  ASSERT_NE(expected, IDOK);

  hostkit::WindowCloser configureCloser;
  EXPECT_EQ(dll().Configure(notAWindow), expected);
  EXPECT_TRUE(configureCloser.Stop().empty()) << "Configure showed a window";
  EXPECT_EQ(Press(4).trace, "Ctrl↓ Num4↓ Num4↑ Ctrl↑") << "Configure changed the mode";
}

TEST_F(EndToEnd, ExportsAreCdeclAndKeepTheCallersRegisters) {
  StandInWindow morlune;
  ASSERT_TRUE(morlune.valid());
  DialogCloser closer(DialogCloser::Scope::ThisProcess);
  const auto owner = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(morlune.handle()));
  struct Case {
    const char* name;
    const void* function;
    std::vector<std::uint32_t> arguments;
    std::uint32_t result;
  };
  std::vector<Case> cases = {
      {"WhatKeysDoYouWant", reinterpret_cast<const void*>(exports().WhatKeysDoYouWant), {}, 0x3FF8},
      {"AreYouInFocus", reinterpret_cast<const void*>(exports().AreYouInFocus), {}, 1},
      {"HandleKey", reinterpret_cast<const void*>(exports().HandleKey), {0, 23, 1}, 1},
      {"HandleKey", reinterpret_cast<const void*>(exports().HandleKey), {0, 13, 1}, 0},
      {"Configure", reinterpret_cast<const void*>(exports().Configure), {owner}, IDOK},
  };
  for (std::uint32_t count = 0; count <= 8; ++count) {
    cases.push_back({"EnumerateProgrammableFunction",
                     reinterpret_cast<const void*>(exports().EnumerateProgrammableFunction),
                     std::vector<std::uint32_t>(count, 0xA5A5A5A5), 0});
  }
  for (const Case& c : cases) {
    CallProbe probe{};
    ProbeCdeclCall(c.function, c.arguments.data(), static_cast<std::uint32_t>(c.arguments.size()),
                   &probe);
    SCOPED_TRACE(std::string(c.name) + " with " + std::to_string(c.arguments.size()) +
                 " arguments");
    EXPECT_EQ(probe.result, c.result);
    EXPECT_EQ(probe.espAfterCall, probe.espBeforeCall) << "the callee moved the stack pointer";
    EXPECT_EQ(probe.ebx, ProbeEbx);
    EXPECT_EQ(probe.esi, ProbeEsi);
    EXPECT_EQ(probe.edi, ProbeEdi);
    EXPECT_EQ(probe.ebp, ProbeEbp);
    // The rest of the state a callee keeps: flags, x87 unit, MXCSR, the handler chain.
    EXPECT_EQ(CdeclBreach(c.name, probe), "");
  }
  Injected();
}

TEST_F(EndToEnd, RandomSoakAgainstAModel) {
  // A fixed seed, so that a failure comes back on every run; MORLUNE_SOAK_SEED picks another.
  const char* seedText = std::getenv("MORLUNE_SOAK_SEED");
  const unsigned seed =
      seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 0)) : DefaultSoakSeed;
  std::printf("soak seed %u (set MORLUNE_SOAK_SEED to choose another)\n", seed);
  RecordProperty("seed", std::to_string(seed));
  SCOPED_TRACE("soak seed " + std::to_string(seed) + ": MORLUNE_SOAK_SEED=" + std::to_string(seed) +
               " replays this run");
  std::mt19937 random(seed);
  auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };

  PluginModel model;
  std::optional<StandInWindow> morlune;
  morlune.emplace();
  DialogCloser closer(DialogCloser::Scope::ThisProcess);
  for (int call = 0; call < 2500 && !HasFailure(); ++call) {
    const int what = static_cast<int>(random() % 100);
    if (what < 2) {  // the target comes or goes
      if (morlune) {
        morlune.reset();
      } else {
        morlune.emplace();
      }
      continue;
    }
    if (what < 4) {
      ASSERT_EQ(dll().AreYouInFocus(), morlune ? 1 : 0) << "call " << call;
    } else if (what < 5) {
      ASSERT_EQ(dll().WhatKeysDoYouWant(), WantedKeysMask) << "call " << call;
    } else if (what < 6) {
      ASSERT_EQ(dll().EnumerateProgrammableFunction(), 0) << "call " << call;
    } else if (what < 7 && call % 10 == 0) {
      ASSERT_EQ(dll().Configure(nullptr), IDOK) << "call " << call;
    } else {
      std::uint32_t keyCode = chance(90) ? random() % 50 : random() & 0xFFFF;
      std::uint32_t keyState = chance(80) ? 1 : chance(60) ? 2 : random() & 0xFFFF;
      if (chance(10)) keyCode |= random() << 16;
      if (chance(10)) keyState |= random() << 16;
      const PluginModel::Result expected = model.HandleKey(morlune.has_value(), keyCode, keyState);
      const std::int32_t handled = dll().HandleKey(random(), keyCode, keyState);
      const std::string trace = Injected();
      ASSERT_EQ(handled, expected.handled)
          << "call " << call << ": key " << keyCode << " state " << keyState;
      ASSERT_EQ(trace, expected.trace)
          << "call " << call << ": key " << keyCode << " state " << keyState;
    }
    if (call % 250 == 0) ExpectNoKeyDown();
  }
  ExpectNoKeyDown();
}

}  // namespace
