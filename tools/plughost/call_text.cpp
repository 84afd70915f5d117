#include "tools/plughost/call_text.h"

#include <algorithm>

#include "tools/hostkit/exception_text.h"

namespace plughost {

std::string Describe(const HandleKeyCall& call) {
  return hostkit::DescribeCall("HandleKey", {call.first, call.keyCode, call.keyState});
}

std::string DescribeKey(std::uint16_t keyCode, std::uint16_t keyState) {
  std::string text = "key " + std::to_string(keyCode);
  if (keyState != 1) text += ":" + std::to_string(keyState);
  return text;
}

std::string DescribeOutcome(std::uint32_t handled, const std::vector<keytrace::KeyEvent>& events) {
  const std::string keys = keytrace::FormatChords(events);
  if (handled == 0) return events.empty() ? "not handled" : "not handled, yet sent " + keys;
  if (handled != 1) {
    return "returned " + std::to_string(static_cast<std::int32_t>(handled)) + ", sent " + keys;
  }
  return events.empty() ? "handled, no keystroke" : keys;
}

std::string LeftDownText(const std::vector<std::uint8_t>& held) {
  return "left " + keytrace::KeyList(held) + " down (plughost released " +
         (held.size() == 1 ? "it" : "them") + ")";
}

std::string HandleKeyBreach(const std::string& call, std::uint32_t handled,
                            const std::vector<std::uint8_t>& leftDown) {
  std::string breach;
  if (handled > 1) {
    breach = call + " returned " + std::to_string(static_cast<std::int32_t>(handled)) +
             ": the host expects 0 or 1";
  }
  if (!leftDown.empty()) {
    breach += (breach.empty() ? "" : "; ") + call + " " + LeftDownText(leftDown);
  }
  return breach;
}

std::string DescribeSeries(const std::vector<HandleKeyCall>& series) {
  const auto plain = [](const HandleKeyCall& call) {
    return call.first == 0 && call.keyCode <= 0xFFFF && call.keyState <= 0xFFFF;
  };
  const bool allPlain = std::all_of(series.begin(), series.end(), plain);
  const bool oneState =
      allPlain && std::all_of(series.begin(), series.end(), [&](const HandleKeyCall& call) {
        return call.keyState == series.front().keyState;
      });
  std::string text = series.size() == 1 ? "event " : "events ";
  for (std::size_t i = 0; i < series.size(); ++i) {
    if (i > 0) text += ", ";
    const HandleKeyCall& call = series[i];
    if (!allPlain) {
      text += Describe(call);
    } else if (oneState) {
      text += std::to_string(call.keyCode);
    } else {
      text += DescribeKey(static_cast<std::uint16_t>(call.keyCode),
                          static_cast<std::uint16_t>(call.keyState))
                  .substr(4);  // "25:2" of "key 25:2"
    }
  }
  if (oneState && !series.empty()) {
    text += " (state " + std::to_string(series.front().keyState) + ")";
  }
  return text;
}

}  // namespace plughost
