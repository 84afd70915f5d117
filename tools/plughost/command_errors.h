#pragma once

// What info, press, keymap and about print on stderr: a call into the plug-in that crashed or
// hung, a contract broken in passing, a plug-in that would not load.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/plughost/plugin_session.h"

namespace plughost {

// "plughost: TEXT", on a line of its own.
void PrintError(const std::string& text);

// Loads the plug-in, or prints why it cannot be; false then.
bool LoadOrSayWhyNot(PluginSession& plugin);

// "plughost: HandleKey(0, 7, 1) crashed: ...", then the keys released for it, on stderr.
void PrintFatal(const std::string& account, const std::vector<std::uint8_t>& released);

// Runs a command's work; a plug-in lost on the way is printed with PrintFatal and ends the
// command with PluginFailure.
int Supervised(const std::function<int()>& work);

// "F2↓ F2↑ came while no call was running, 300 ms after HandleKey(0, 2, 1) returned"; empty
// when there were no such keys.
std::string LateKeysText(const PluginSession::LateKeys& late);

// "plughost: HandleKey(0, 30, 1) left Ctrl down" for a contract broken in passing; true when
// there was something to print.
bool PrintBreach(const std::string& text);

}  // namespace plughost
