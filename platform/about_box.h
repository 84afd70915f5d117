#pragma once

// NOLINTNEXTLINE(bugprone-reserved-identifier): <windows.h>'s own name for what HWND points to.
struct HWND__;

namespace platform {

// A modal box with a single OK button and no icon; returns what MessageBoxA returned.
int ShowAboutBox(HWND__* owner, const char* text, const char* caption);

}  // namespace platform
