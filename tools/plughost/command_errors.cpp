#include "tools/plughost/command_errors.h"

#include <cstdio>

#include "tools/keytrace/key_trace.h"
#include "tools/plughost/commands.h"

namespace plughost {

void PrintError(const std::string& text) {
  // Whatever stdout holds came first.
  std::fflush(stdout);
  std::fprintf(stderr, "plughost: %s\n", text.c_str());
  std::fflush(stderr);
}

bool LoadOrSayWhyNot(PluginSession& plugin) {
  std::string error;
  if (plugin.Load(error)) return true;
  PrintError(error);
  return false;
}

void PrintFatal(const std::string& account, const std::vector<std::uint8_t>& released) {
  PrintError(account);
  if (!released.empty()) {
    PrintError("released " + keytrace::KeyList(released) + ", left down by the plug-in");
  }
}

int Supervised(const std::function<int()>& work) {
  try {
    return work();
  } catch (const PluginLost& lost) {
    PrintFatal(lost.what(), lost.released);
    return PluginFailure;
  }
}

std::string LateKeysText(const PluginSession::LateKeys& late) {
  if (late.events.empty()) return {};
  std::string text = keytrace::FormatTrace(late.events) + " came while no call was running";
  if (!late.lastCall.empty()) {
    text += ", " + std::to_string(late.msAfterReturn) + " ms after " + late.lastCall + " returned";
  }
  return text;
}

bool PrintBreach(const std::string& text) {
  if (text.empty()) return false;
  PrintError(text);
  return true;
}

}  // namespace plughost
