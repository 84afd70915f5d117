#include "tools/plughost/plugin_session.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace plughost {
namespace {

constexpr DWORD SyncTimeoutMs = 5000;
constexpr DWORD LostSyncTimeoutMs = 1000;
constexpr std::size_t HandledKept = 8;
// How long after a call returned the hook may still be seeing the keys the call sent.
constexpr DWORD HookLagMs = 50;

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return length > 0 && length < MAX_PATH ? std::string(full, length) : path;
}

hostkit::worker::Call ExportCall(std::size_t index,
                                 std::initializer_list<std::uint32_t> arguments) {
  hostkit::worker::Call call{static_cast<std::uint32_t>(index), 0, {}};
  for (const std::uint32_t argument : arguments) {
    if (call.count < hostkit::worker::MaxArguments) call.arguments[call.count++] = argument;
  }
  return call;
}

}  // namespace

const char* const NoHookMessage =
    "the low-level keyboard hook could not be installed or saw nothing; is there a desktop (an "
    "X display under Wine)?";

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

std::string HandleKeyBreach(const std::string& call, std::uint32_t handled,
                            const std::vector<std::uint8_t>& leftDown) {
  std::string breach;
  if (handled > 1) {
    breach = call + " returned " + std::to_string(static_cast<std::int32_t>(handled)) +
             ": the host expects 0 or 1";
  }
  if (!leftDown.empty()) {
    breach += (breach.empty() ? "" : "; ") + call + " left " + keytrace::KeyList(leftDown) +
              " down (plughost released " + (leftDown.size() == 1 ? "it" : "them") + ")";
  }
  return breach;
}

PluginSession::PluginSession(const std::string& path, std::uint32_t timeoutMs,
                             hostkit::KeyboardCapture::Delivery delivery)
    : path_(FullPath(path)), timeoutMs_(timeoutMs), capture_(delivery) {}

PluginSession::~PluginSession() {
  try {
    EndWorker();
  } catch (const std::exception&) {
    // Ending is all that was asked for.
  }
  Injected injected;
  CollectAndRelease(injected, LostSyncTimeoutMs);
}

hostkit::WorkerProcess& PluginSession::Worker() {
  if (!worker_) {
    try {
      worker_ = std::make_unique<hostkit::WorkerProcess>(timeoutMs_, nextSerial_);
    } catch (const hostkit::WorkerLost& lost) {
      Lost(lost);
    }
    capture_.TagWith(worker_->clock());
  }
  return *worker_;
}

void PluginSession::Lost(const hostkit::WorkerLost& lost) {
  capture_.TagWith(nullptr);
  if (worker_) nextSerial_ = worker_->nextSerial();
  worker_.reset();
  recentlyHandled_.clear();
  Injected injected;
  CollectAndRelease(injected, LostSyncTimeoutMs);
  std::optional<HandleKeyCall> call;
  if (lost.call && lost.call->function == hostkit::ExportIndex::HandleKey) {
    call = HandleKeyCall{lost.call->arguments[0], lost.call->arguments[1], lost.call->arguments[2]};
  }
  throw PluginLost(lost.what(), injected.leftDown, call, lost.index);
}

void PluginSession::EndWorker() {
  recentlyHandled_.clear();
  if (!worker_) return;
  capture_.TagWith(nullptr);
  nextSerial_ = worker_->nextSerial();
  worker_.reset();
}

bool PluginSession::Load(std::string& error) {
  if (!capture_.active()) {
    error = NoHookMessage;
    return false;
  }
  try {
    return Worker().Load(path_, error);
  } catch (const hostkit::WorkerLost& lost) {
    Lost(lost);
  }
}

void PluginSession::Unload() {
  if (!worker_) return;
  try {
    worker_->Unload();
  } catch (const hostkit::WorkerLost& lost) {
    Lost(lost);
  }
}

hostkit::GuardedExports PluginSession::dll() {
  return hostkit::GuardedExports(
      [this](std::size_t index, std::initializer_list<std::uint32_t> arguments) {
        try {
          GuardedResult result = Worker().Calls({ExportCall(index, arguments)}).at(0);
          if (index == hostkit::ExportIndex::HandleKey && result.value != 0) {
            const std::uint32_t* values = arguments.begin();
            NoteHandled({values[0], values[1], values[2]});
          }
          return result;
        } catch (const hostkit::WorkerLost& lost) {
          Lost(lost);
        }
      });
}

std::vector<GuardedResult> PluginSession::HandleKeys(const std::vector<HandleKeyCall>& calls,
                                                     std::uint32_t stopAt) {
  std::vector<hostkit::worker::Call> made;
  made.reserve(calls.size());
  for (const HandleKeyCall& call : calls) {
    made.push_back(
        ExportCall(hostkit::ExportIndex::HandleKey, {call.first, call.keyCode, call.keyState}));
  }
  try {
    std::vector<GuardedResult> results = Worker().Calls(made, stopAt);
    for (std::size_t i = 0; i < results.size(); ++i) {
      if (results[i].value != 0) NoteHandled(calls[i]);
    }
    return results;
  } catch (const hostkit::WorkerLost& lost) {
    Lost(lost);
  }
}

std::vector<PluginSession::Played> PluginSession::PlayFromFreshLoads(
    const std::vector<std::vector<HandleKeyCall>>& series) {
  std::vector<hostkit::worker::Call> made;
  std::vector<std::pair<std::size_t, std::size_t>> places;  // of each made call: series, call
  for (std::size_t s = 0; s < series.size(); ++s) {
    made.push_back({hostkit::worker::ReloadFunction, 0, {}});
    places.emplace_back(s, SIZE_MAX);
    for (std::size_t c = 0; c < series[s].size(); ++c) {
      const HandleKeyCall& call = series[s][c];
      made.push_back(
          ExportCall(hostkit::ExportIndex::HandleKey, {call.first, call.keyCode, call.keyState}));
      places.emplace_back(s, c);
    }
  }
  std::vector<GuardedResult> results;
  try {
    try {
      results = Worker().Calls(made);
    } catch (const hostkit::WorkerLost& lost) {
      Lost(lost);
    }
  } catch (PluginLost& lost) {
    // Named by its series and its place there.
    if (lost.index && *lost.index < places.size()) {
      lost.series = places[*lost.index].first;
      lost.index = places[*lost.index].second;
    }
    throw;
  }
  Injected injected;
  Collect(injected);
  if (results.size() < made.size()) {
    std::string error = "reloading " + FileName(path_) + " failed";
    if (const std::string raised = LoaderException(); !raised.empty()) error += ": " + raised;
    EndWorker();
    throw PluginLost(error, injected.leftDown);
  }
  std::vector<Played> played(series.size());
  for (std::size_t s = 0; s < series.size(); ++s) {
    played[s].keys.resize(series[s].size());
  }
  for (std::size_t i = 0; i < made.size(); ++i) {
    const auto [s, c] = places[i];
    if (c != SIZE_MAX) played[s].results.push_back(results[i]);
  }
  for (std::size_t e = 0; e < injected.events.size(); ++e) {
    const std::size_t index = injected.callIndex[e];
    if (index >= places.size() || places[index].second == SIZE_MAX) continue;
    played[places[index].first].keys[places[index].second].push_back(injected.events[e]);
  }
  return played;
}

void PluginSession::NoteLateKeys(const LateKeys& late) {
  if (firstLate_) return;
  firstLate_ = late;
  std::vector<Returned>& before = firstLate_->handledBefore;
  // Most recent first.
  for (std::size_t i = recentlyHandled_.size(); i-- > 0;) {
    const Returned& handled = recentlyHandled_[i];
    const bool listed = std::ranges::any_of(
        before, [&](const Returned& other) { return other.call == handled.call; });
    if (!listed && static_cast<LONG>(late.arrivedAt - handled.at) >= 0) before.push_back(handled);
  }
}

void PluginSession::NoteHandled(const HandleKeyCall& call) {
  if (recentlyHandled_.size() == HandledKept) recentlyHandled_.erase(recentlyHandled_.begin());
  recentlyHandled_.push_back({call, GetTickCount()});
}

std::string PluginSession::LoaderException() const {
  return worker_ ? worker_->LoaderException() : std::string();
}

hostkit::ResourceSample PluginSession::SampleResources() {
  try {
    return Worker().Sample();
  } catch (const hostkit::WorkerLost& lost) {
    Lost(lost);
  }
}

bool PluginSession::Collect(Injected& injected) {
  return CollectAndRelease(injected, SyncTimeoutMs);
}

bool PluginSession::CollectAndRelease(Injected& injected, DWORD syncTimeoutMs) {
  std::vector<hostkit::CapturedKey> keys;
  const bool synced = capture_.active() && capture_.Sync(keys, syncTimeoutMs);
  injected.events.clear();
  injected.during.clear();
  injected.callIndex.clear();
  injected.late = {};
  std::vector<keytrace::KeyEvent> all;
  for (const hostkit::CapturedKey& key : keys) {
    const keytrace::KeyEvent event{key.vk, key.down};
    all.push_back(event);
    // The hook may see a key a little after it was sent, once its call has returned: one seen
    // that soon is the call's.
    const LONG serial = key.serial != 0                                        ? key.serial
                        : key.lastSerial != 0 && key.msAfterReturn < HookLagMs ? key.lastSerial
                                                                               : 0;
    if (serial != 0) {
      if (injected.events.empty()) injected.firstEventAt = key.time;
      injected.events.push_back(event);
      const auto index = worker_ ? worker_->IndexOf(serial) : std::nullopt;
      injected.callIndex.push_back(index.value_or(SIZE_MAX));
      const auto call = worker_ ? worker_->CallOf(serial) : std::nullopt;
      if (call && call->function == hostkit::ExportIndex::HandleKey) {
        const HandleKeyCall during{call->arguments[0], call->arguments[1], call->arguments[2]};
        if (std::find(injected.during.begin(), injected.during.end(), during) ==
            injected.during.end()) {
          injected.during.push_back(during);
        }
      }
      continue;
    }
    if (injected.late.events.empty()) {
      injected.late.msAfterReturn = key.msAfterReturn;
      injected.late.arrivedAt = key.time;
      if (worker_) injected.late.lastCall = worker_->DescribeSerial(key.lastSerial);
    }
    injected.late.events.push_back(event);
  }
  if (!injected.late.events.empty()) NoteLateKeys(injected.late);
  held_.Apply(all);
  injected.leftDown = held_.Down();
  for (const std::uint8_t vk : injected.leftDown) {
    hostkit::KeyboardCapture::Release(vk);
    held_.Release(vk);
  }
  return synced;
}

}  // namespace plughost
