#include "tests/wine/dialog_closer.h"

#include <cstring>

namespace {

BOOL CALLBACK CloseIfOwnDialog(HWND window, LPARAM /*unused*/) {
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (std::strcmp(className, "#32770") == 0 && process == GetCurrentProcessId()) {
    PostMessageA(window, WM_COMMAND, IDOK, 0);
  }
  return TRUE;
}

}  // namespace

void CloseDialogsOfThisProcess() {
  EnumWindows(&CloseIfOwnDialog, 0);
}

DialogCloser::DialogCloser(Scope scope)
    : thread_([this, scope] {
        while (!stop_) {
          if (scope == Scope::ThisProcess) {
            CloseDialogsOfThisProcess();
          } else if (HWND box = FindWindowA("#32770", "About")) {
            PostMessageA(box, WM_COMMAND, IDOK, 0);
          }
          Sleep(20);
        }
      }) {}

DialogCloser::~DialogCloser() {
  stop_ = true;
  thread_.join();
}
