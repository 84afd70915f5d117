// Configure: the About box it shows, owned by the window it is given, and what it returns; and
// what it returns when no box can be shown.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/end_to_end/end_to_end_fixture.h"
#include "tests/wine/end_to_end/message_pump.h"
#include "tools/hostkit/stand_in_window.h"
#include "tools/hostkit/window_closer.h"

namespace {

using hostkit::StandInWindow;

constexpr const char* AboutText =
    "Morlune 1.99+ Remote Wonder Plug-In (2008/05/01)\n"
    "\n"
    "See http://www.morlune.example/rwplugins\n"
    "for news and latest version";

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
  if (std::strcmp(className, "#32770") == 0 && std::strcmp(title, "About") == 0) {
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
      const hostkit::WindowCloser closer(GetCurrentProcessId(),
                                         hostkit::WindowCloser::Closes::Dialogs);
      if (!PumpMessagesUntil([&] { return returned.load(); }, CallLimitMs)) {
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

}  // namespace
