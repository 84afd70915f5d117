#pragma once

// The target application is recognised by the class of its top-level windows alone. Declared
// without <windows.h> so key translation headers can sit beside it.
// NOLINTNEXTLINE(bugprone-reserved-identifier): <windows.h>'s own name for what HWND points to.
struct HWND__;

namespace platform {

inline constexpr const char* TargetWindowClass = "ThunderRT6FormDC";

// Looked up afresh on every call: the window may come and go between remote keys.
HWND__* FindTargetWindow();
bool IsTargetPresent();

}  // namespace platform
