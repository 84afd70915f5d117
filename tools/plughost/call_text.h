#pragma once

// What plughost says about HandleKey calls and what they did, in the words of its commands and
// checks. No Windows in it, so it is tested natively.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/keytrace/key_trace.h"

namespace plughost {

struct HandleKeyCall {
  std::uint32_t first, keyCode, keyState;
  bool operator==(const HandleKeyCall&) const = default;
};

// "HandleKey(0, 7, 1)".
std::string Describe(const HandleKeyCall& call);

// "key 25:2"; the state is left out when it is 1.
std::string DescribeKey(std::uint16_t keyCode, std::uint16_t keyState);

// What one event did, in the words press and keymap print: "Ctrl+PgDn", "not handled", ...
std::string DescribeOutcome(std::uint32_t handled, const std::vector<keytrace::KeyEvent>& events);

// "left Ctrl down (plughost released it)".
std::string LeftDownText(const std::vector<std::uint8_t>& held);

// The account of what a HandleKey call did against the host's contract beyond the calling
// convention: a result other than 0 or 1, keys left down. Empty when nothing.
std::string HandleKeyBreach(const std::string& call, std::uint32_t handled,
                            const std::vector<std::uint8_t>& leftDown);

// "events 28, 1, 2 (state 1)"; events that are not plain key codes in one state are written as
// the calls they are.
std::string DescribeSeries(const std::vector<HandleKeyCall>& series);

}  // namespace plughost
