#pragma once

// Sees every key event injected into the system (never the user's own typing), through a
// low-level keyboard hook on a thread of its own that pumps messages. Synchronises without
// guessing: Sync() injects a marker key (F24 tagged in its extra information) and waits for the
// hook to see it; events arrive in order, so everything injected before the marker has been
// captured by then.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/hostkit/call_clock.h"
#include "tools/keytrace/key_trace.h"

namespace hostkit {

struct CapturedKey {
  std::uint8_t vk;
  bool down;
  DWORD scanCode;
  DWORD flags;  // the hook's LLKHF_* flags
  ULONG_PTR extraInfo;
  // Read off the CallClock given to TagWith as the hook saw the key: the call in progress (0 for
  // none), and the last call that had returned and how long before.
  LONG serial;
  LONG lastSerial;
  DWORD msAfterReturn;
  DWORD time;  // GetTickCount() when the hook saw it
};

std::vector<keytrace::KeyEvent> AsKeyEvents(const std::vector<CapturedKey>& keys);

class KeyboardCapture {
 public:
  enum class Delivery {
    PassThrough,  // captured events go on to the focused window
    Swallow,      // captured events stop at the hook: nothing reaches any window
  };
  enum class Markers {
    Hidden,     // the markers stop at the hook, whatever happens to captured events
    Delivered,  // the markers reach the focused window too, for tests whose window waits on them
  };

  // The marker key and the tag every marker carries in its upper half (the lower half numbers
  // the marker).
  static constexpr std::uint8_t MarkerKey = VK_F24;
  static constexpr ULONG_PTR MarkerTag = 0x4D4C0000;  // "ML"
  // The tag of the releases Release() injects: they pass the hook unrecorded.
  static constexpr ULONG_PTR ReleaseTag = 0x4D520000;  // "MR"

  // One capture at a time: the hook procedure has no context but the one live capture.
  explicit KeyboardCapture(Delivery delivery = Delivery::PassThrough,
                           Markers markers = Markers::Hidden);
  ~KeyboardCapture();
  KeyboardCapture(const KeyboardCapture&) = delete;
  KeyboardCapture& operator=(const KeyboardCapture&) = delete;

  // False when the hook could not be installed.
  [[nodiscard]] bool active() const { return hookInstalled_; }

  // Injects a marker (down and up) and waits up to `timeoutMs` for the hook to see it. On
  // success returns true and moves everything captured before it into `events`.
  bool Sync(std::vector<CapturedKey>& events, DWORD timeoutMs = 5000);

  // From now on each key is tagged with what `clock` says when the hook sees it. Null stops the
  // tagging.
  void TagWith(const CallClock* clock);

  // Releases a key a plug-in left down, so that nothing stays held on the desktop. Callable from
  // any thread.
  static void Release(std::uint8_t vk);

 private:
  static LRESULT CALLBACK HookProcedure(int code, WPARAM wParam, LPARAM lParam);
  void Run();

  const Delivery delivery_;
  const Markers markers_;
  std::thread thread_;
  DWORD threadId_ = 0;
  bool hookInstalled_ = false;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  std::vector<CapturedKey> captured_;
  ULONG_PTR markerSeen_ = 0;
  const CallClock* clock_ = nullptr;
  std::uint16_t markerCount_ = 0;
};

}  // namespace hostkit
