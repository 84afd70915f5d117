#include "tests/wine/end_to_end/end_to_end_fixture.h"

#include <cstdio>
#include <vector>

#include "tools/hostkit/stand_in_window.h"
#include "tools/keytrace/key_trace.h"

using hostkit::CapturedKey;
using hostkit::KeyboardCapture;
using keytrace::FormatTrace;

KeyboardCapture* EndToEnd::capture = nullptr;
hostkit::CallGuard* EndToEnd::guard = nullptr;

// The markers reach the windows too: the stand-in windows wait for them.
void EndToEnd::SetUpTestSuite() {
  capture = new KeyboardCapture(KeyboardCapture::Delivery::PassThrough,
                                KeyboardCapture::Markers::Delivered);
  guard = new hostkit::CallGuard(CallLimitMs, [](const std::string& account) {
    std::fprintf(stderr, "end_to_end_test: %s: the suite cannot go on\n", account.c_str());
  });
}

void EndToEnd::TearDownTestSuite() {
  delete guard;
  guard = nullptr;
  delete capture;
  capture = nullptr;
}

void EndToEnd::SetUp() {
  ASSERT_TRUE(capture->active()) << "the low-level keyboard hook could not be installed";
  ASSERT_EQ(FindWindowA(hostkit::MorluneWindowClass, nullptr), nullptr)
      << "a window of Morlune's class is already open";
  std::vector<CapturedKey> stale;
  ASSERT_TRUE(capture->Sync(stale)) << "the hook never saw the marker key";
  Reload();
}

void EndToEnd::Reload() {
  plugin.reset();
  std::string error;
  plugin = hostkit::PluginLibrary::Load("Morlune.dll", error);
  ASSERT_TRUE(plugin) << error;
}

std::string EndToEnd::Injected() {
  std::vector<CapturedKey> keys;
  EXPECT_TRUE(capture->Sync(keys)) << "the hook never saw the marker key";
  for (const CapturedKey& key : keys) {
    EXPECT_EQ(key.scanCode, 0u) << FormatTrace(hostkit::AsKeyEvents(keys));
    EXPECT_EQ(key.flags & LLKHF_EXTENDED, 0u) << FormatTrace(hostkit::AsKeyEvents(keys));
    EXPECT_EQ(key.extraInfo, 0u) << FormatTrace(hostkit::AsKeyEvents(keys));
  }
  return FormatTrace(hostkit::AsKeyEvents(keys));
}

EndToEnd::Outcome EndToEnd::Press(std::uint32_t keyCode, std::uint32_t keyState,
                                  std::uint32_t first) {
  const std::int32_t handled = dll().HandleKey(first, keyCode, keyState);
  Outcome outcome{handled, Injected()};
  ExpectNoKeyDown();
  return outcome;
}

void EndToEnd::ExpectNoKeyDown() {
  for (int vk = 1; vk < 256; ++vk) {
    // The last marker may still be on its way up when the hook has already reported it.
    if (vk == KeyboardCapture::MarkerKey) continue;
    EXPECT_EQ(GetAsyncKeyState(vk) & 0x8000, 0) << "key " << keytrace::KeyName(vk) << " is down";
  }
}
