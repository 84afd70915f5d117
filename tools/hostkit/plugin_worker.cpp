#include "tools/hostkit/plugin_worker.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "tools/hostkit/code_location.h"
#include "tools/hostkit/exception_text.h"
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
  // A second thread that faults waits: the first is still writing the account of its fault.
  if (InterlockedExchange(&reported, 1) != 0) {
    for (;;) Sleep(INFINITE);
  }
  Record(*pointers->ExceptionRecord, channel->fault);
  InterlockedExchange(&channel->faulted, 1);
  // Not ExitProcess: it would run the plug-in's DllMain again.
  TerminateProcess(GetCurrentProcess(), FaultExit);
  return EXCEPTION_CONTINUE_SEARCH;
}

// The faults of the processor itself: a DllMain does not raise and handle these on purpose, as it
// may a C++ exception or a software exception of its own.
bool IsHardwareFault(DWORD code) {
  switch (code) {
    case status::AccessViolation:
    case status::InPageError:
    case status::IllegalInstruction:
    case status::PrivilegedInstruction:
    case status::IntegerDivideByZero:
    case status::IntegerOverflow:
    case status::StackOverflow:
    case status::DatatypeMisalignment:
    case status::ArrayBoundsExceeded:
      return true;
    default:
      return false;
  }
}

// Sees a fault before the loader's own handler can swallow it.
LONG WINAPI OnLoaderException(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (IsHardwareFault(record.ExceptionCode) && !channel->loaderRaised &&
      GetCurrentThreadId() == channel->callingThread) {
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

void Unload(std::optional<PluginLibrary>& plugin) {
  if (plugin) UnderLoader(worker::Unloading, [&] { plugin.reset(); });
}

void Load(std::optional<PluginLibrary>& plugin) {
  std::string error;
  Unload(plugin);
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
      Load(plugin);
      if (!plugin) return;
      channel->callsDone = i + 1;
      continue;
    }
    // Nothing loaded to call: the run ends here, and the supervisor sees it cut short.
    if (!plugin) return;
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
    InterlockedExchange(&channel->clock.serialInCall, channel->firstSerial + static_cast<LONG>(i));
    Begin(worker::Calling);
    ProbeCdeclCall(exports.Address(call.function), call.arguments, call.count, &probe);
    // What returned last is written before the call is over, so that a key coming in between
    // is never put down to the call before.
    channel->clock.lastReturnedAt = GetTickCount();
    InterlockedExchange(&channel->clock.lastSerial, channel->firstSerial + static_cast<LONG>(i));
    End();
    InterlockedExchange(&channel->clock.serialInCall, 0);
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

DWORD WINAPI EndWithSupervisor(LPVOID supervisor) {
  WaitForSingleObject(supervisor, INFINITE);
  TerminateProcess(GetCurrentProcess(), 1);
  return 0;
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
  // Not even a call that never returns keeps the worker alive once the supervisor is gone.
  if (HANDLE watcher = CreateThread(nullptr, 0, &EndWithSupervisor, supervisor, 0, nullptr)) {
    CloseHandle(watcher);
  }

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
        Unload(plugin);
        break;
      case worker::Command::Calls:
        RunCalls(plugin);
        break;
      case worker::Command::Sample:
        Sample();
        break;
      case worker::Command::Quit:
      case worker::Command::None:
        Unload(plugin);
        SetEvent(reply);
        return 0;
    }
    SetEvent(reply);
  }
}

}  // namespace hostkit
