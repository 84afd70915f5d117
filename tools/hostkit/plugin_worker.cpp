#include "tools/hostkit/plugin_worker.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "tools/hostkit/code_location.h"
#include "tools/hostkit/plugin_library.h"
#include "tools/hostkit/worker_channel.h"

namespace hostkit {
namespace {

using worker::Channel;

Channel* channel = nullptr;
// The exit status of a worker whose plug-in crashed: the channel says how.
constexpr UINT FaultExit = 0xDEAD;

void Record(const EXCEPTION_RECORD& record, worker::Fault& fault) {
  fault.code = record.ExceptionCode;
  fault.parameterCount = record.NumberParameters;
  for (DWORD i = 0; i < 2 && i < record.NumberParameters; ++i) {
    fault.parameters[i] = static_cast<DWORD>(record.ExceptionInformation[i]);
  }
  fault.threadId = GetCurrentThreadId();
  const bool callingThread = fault.threadId == channel->callingThread;
  fault.activity = callingThread ? channel->activity : worker::Idle;
  fault.serial = callingThread ? channel->clock.serialInCall : 0;
  DescribeCodeAddress(record.ExceptionAddress, fault.location, sizeof fault.location);
}

// As little as possible here: this may be the last of an overflowed stack.
LONG WINAPI OnFault(EXCEPTION_POINTERS* pointers) {
  static LONG reported = 0;
  if (InterlockedExchange(&reported, 1) == 0) {
    Record(*pointers->ExceptionRecord, channel->fault);
    InterlockedExchange(&channel->faulted, 1);
  }
  // Not ExitProcess: it would run the plug-in's DllMain again.
  TerminateProcess(GetCurrentProcess(), FaultExit);
  return EXCEPTION_CONTINUE_SEARCH;
}

// Sees an exception before the loader's own handler can swallow it.
LONG WINAPI OnLoaderException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const bool error = (record.ExceptionCode & 0xC0000000) == 0xC0000000;
  if (error && !channel->loaderRaised && GetCurrentThreadId() == channel->callingThread) {
    Record(record, channel->loaderException);
    channel->loaderRaised = TRUE;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void Begin(worker::Activity activity) {
  channel->startedAt = GetTickCount();
  InterlockedExchange(&channel->activity, activity);
}

void End() {
  InterlockedExchange(&channel->activity, worker::Idle);
}

template <typename Work>
void UnderLoader(worker::Activity activity, Work work) {
  channel->loaderRaised = FALSE;
  PVOID handler = AddVectoredExceptionHandler(1, &OnLoaderException);
  Begin(activity);
  work();
  End();
  RemoveVectoredExceptionHandler(handler);
}

bool Written(const std::uint32_t (&buffer)[worker::ScratchBufferWords]) {
  return std::ranges::any_of(buffer, [](std::uint32_t word) { return word != 0; });
}

void Load(std::optional<PluginLibrary>& plugin) {
  std::string error;
  plugin.reset();
  UnderLoader(worker::Loading, [&] { plugin = PluginLibrary::Load(channel->path, error); });
  channel->loaded = plugin.has_value();
  std::snprintf(channel->error, sizeof channel->error, "%s", error.c_str());
}

void RunCalls(std::optional<PluginLibrary>& plugin) {
  channel->callsDone = 0;
  channel->scratchWritten = FALSE;
  for (std::uint32_t i = 0; i < channel->callCount; ++i) {
    worker::Call call = channel->calls[i];
    if (call.function == worker::ReloadFunction) {
      if (plugin) UnderLoader(worker::Unloading, [&] { plugin.reset(); });
      Load(plugin);
      if (!plugin) return;
      channel->callsDone = i + 1;
      continue;
    }
    const PluginExports& exports = plugin->exports();
    bool scratch = false;
    for (std::uint32_t a = 0; a < call.count && a < worker::MaxArguments; ++a) {
      if (!worker::IsScratchBufferArgument(call.arguments[a])) continue;
      auto& buffer = channel->scratch[call.arguments[a] & 3];
      std::memset(buffer, 0, sizeof buffer);
      call.arguments[a] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
      scratch = true;
    }
    CallProbe& probe = channel->probes[i];
    probe = {};
    channel->startedAt = GetTickCount();
    InterlockedExchange(&channel->clock.serialInCall, channel->firstSerial + static_cast<LONG>(i));
    InterlockedExchange(&channel->activity, worker::Calling);
    ProbeCdeclCall(exports.Address(call.function), call.arguments, call.count, &probe);
    InterlockedExchange(&channel->activity, worker::Idle);
    InterlockedExchange(&channel->clock.serialInCall, 0);
    channel->clock.lastSerial = channel->firstSerial + static_cast<LONG>(i);
    channel->clock.lastReturnedAt = GetTickCount();
    channel->callsDone = i + 1;
    if (scratch) {
      for (const auto& buffer : channel->scratch) {
        if (Written(buffer)) channel->scratchWritten = TRUE;
      }
    }
    if (((channel->stopAt & worker::StopAt::Handled) != 0 && probe.result != 0) ||
        ((channel->stopAt & worker::StopAt::Breach) != 0 && !CdeclBreach("", probe).empty())) {
      return;
    }
  }
}

// Handles and committed private memory of this process. Where the system does not count
// handles (Wine), the value of a new handle stands in: handles are handed out lowest free first,
// so leaked ones push it up.
void Sample() {
  DWORD handles = 0;
  channel->handlesCounted = GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0;
  if (!channel->handlesCounted) {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    handles = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(probe) / 4);
    CloseHandle(probe);
  }
  channel->handles = handles;
  channel->privateBytes = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      channel->privateBytes += region.RegionSize;
    }
    if (region.RegionSize == 0) break;
  }
}

HANDLE HandleArgument(const std::string& text) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): inherited handles arrive as numbers.
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(std::strtoul(text.c_str(), nullptr, 10)));
}

}  // namespace

int RunPluginWorker(const std::vector<std::string>& handles) {
  if (handles.size() != 4) return 2;
  HANDLE mapping = HandleArgument(handles[0]);
  HANDLE request = HandleArgument(handles[1]);
  HANDLE reply = HandleArgument(handles[2]);
  HANDLE supervisor = HandleArgument(handles[3]);
  channel = static_cast<Channel*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Channel)));
  if (channel == nullptr) return 2;
  // No system dialog for a crash or a missing disk: the supervisor reports it instead.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(&OnFault);
  channel->callingThread = GetCurrentThreadId();

  std::optional<PluginLibrary> plugin;
  for (;;) {
    const HANDLE waits[] = {request, supervisor};
    // The supervisor gone, the worker goes too.
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;
    switch (channel->command) {
      case worker::Command::Load:
        Load(plugin);
        break;
      case worker::Command::Unload:
        if (plugin) UnderLoader(worker::Unloading, [&] { plugin.reset(); });
        break;
      case worker::Command::Calls:
        if (plugin) RunCalls(plugin);
        break;
      case worker::Command::Sample:
        Sample();
        break;
      case worker::Command::Quit:
      case worker::Command::None:
        if (plugin) UnderLoader(worker::Unloading, [&] { plugin.reset(); });
        SetEvent(reply);
        return 0;
    }
    SetEvent(reply);
  }
}

}  // namespace hostkit
