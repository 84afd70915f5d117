#include "tools/hostkit/keyboard_capture.h"

#include <cstdio>
#include <cstdlib>

namespace hostkit {
namespace {

// A low-level hook procedure gets no context pointer: the one capture alive is found here.
KeyboardCapture* activeCapture = nullptr;

bool IsMarker(const KBDLLHOOKSTRUCT& key) {
  return key.vkCode == KeyboardCapture::MarkerKey &&
         (key.dwExtraInfo & 0xFFFF0000) == KeyboardCapture::MarkerTag;
}

}  // namespace

std::vector<keytrace::KeyEvent> AsKeyEvents(const std::vector<CapturedKey>& keys) {
  std::vector<keytrace::KeyEvent> events;
  events.reserve(keys.size());
  for (const CapturedKey& key : keys) events.push_back({key.vk, key.down});
  return events;
}

KeyboardCapture::KeyboardCapture(Delivery delivery, Markers markers)
    : delivery_(delivery), markers_(markers) {
  if (activeCapture != nullptr) {
    std::fputs("KeyboardCapture: only one may be alive at a time\n", stderr);
    std::abort();
  }
  activeCapture = this;
  thread_ = std::thread([this] { Run(); });
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return started_; });
}

KeyboardCapture::~KeyboardCapture() {
  PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
  thread_.join();
  activeCapture = nullptr;
}

void KeyboardCapture::Run() {
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread its queue
  HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, &HookProcedure, GetModuleHandleA(nullptr), 0);
  {
    std::lock_guard lock(mutex_);
    threadId_ = GetCurrentThreadId();
    hookInstalled_ = hook != nullptr;
    started_ = true;
  }
  changed_.notify_all();
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (hook != nullptr) UnhookWindowsHookEx(hook);
}

LRESULT CALLBACK KeyboardCapture::HookProcedure(int code, WPARAM wParam, LPARAM lParam) {
  KeyboardCapture* self = activeCapture;
  if (code != HC_ACTION || self == nullptr) return CallNextHookEx(nullptr, code, wParam, lParam);

  // NOLINTNEXTLINE(performance-no-int-to-ptr): a low-level hook gets its KBDLLHOOKSTRUCT so.
  const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  // The user's own typing is neither recorded nor blocked.
  if ((key.flags & LLKHF_INJECTED) == 0 || key.dwExtraInfo == ReleaseTag) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
  const bool marker = IsMarker(key);
  {
    std::lock_guard lock(self->mutex_);
    if (marker) {
      if (!down) self->markerSeen_ = key.dwExtraInfo;
    } else {
      CapturedKey captured{static_cast<std::uint8_t>(key.vkCode),
                           down,
                           key.scanCode,
                           key.flags,
                           key.dwExtraInfo,
                           0,
                           0,
                           0,
                           GetTickCount()};
      if (const CallClock* clock = self->clock_) {
        captured.serial = clock->serialInCall;
        captured.lastSerial = clock->lastSerial;
        captured.msAfterReturn = captured.time - clock->lastReturnedAt;
      }
      self->captured_.push_back(captured);
    }
  }
  self->changed_.notify_all();
  const bool swallow =
      marker ? self->markers_ == Markers::Hidden : self->delivery_ == Delivery::Swallow;
  return swallow ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

void KeyboardCapture::TagWith(const CallClock* clock) {
  const std::lock_guard lock(mutex_);
  clock_ = clock;
}

void KeyboardCapture::Release(std::uint8_t vk) {
  keybd_event(vk, 0, KEYEVENTF_KEYUP, ReleaseTag);
}

bool KeyboardCapture::Sync(std::vector<CapturedKey>& events, DWORD timeoutMs) {
  const ULONG_PTR tag = MarkerTag | ++markerCount_;
  keybd_event(MarkerKey, 0, 0, tag);
  keybd_event(MarkerKey, 0, KEYEVENTF_KEYUP, tag);
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return markerSeen_ == tag; })) {
    return false;
  }
  events = std::move(captured_);
  captured_.clear();
  return true;
}

}  // namespace hostkit
