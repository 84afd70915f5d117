#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/plughost/key_argument.h"

namespace plughost {

// Exit statuses.
inline constexpr int Success = 0;
inline constexpr int PluginFailure = 1;  // the DLL could not be loaded or used
inline constexpr int UsageFailure = 2;   // a bad command line or bad input

struct Session {
  std::string dllPath;
  bool openTarget = false;  // --target: a stand-in Morlune window for the session
};

int Info(const Session& session);
int Press(const Session& session, const std::vector<KeyArgument>& keys);
int PressFromInput(const Session& session, std::FILE* input);
int Keymap(const Session& session);
int About(const Session& session);

}  // namespace plughost
