#pragma once

// What info, press, keymap and about print when a call into the plug-in crashed or hung.

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

// "plughost: HandleKey(0, 7, 1) crashed: ...", then the keys released for it, on stderr.
void PrintFatal(const std::string& account, const std::vector<std::uint8_t>& released);

// "plughost: HandleKey(0, 30, 1) left Ctrl down" for a contract broken in passing; true when
// there was something to print.
bool PrintBreach(const std::string& text);

}  // namespace plughost
