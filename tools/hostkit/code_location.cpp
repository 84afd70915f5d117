#include "tools/hostkit/code_location.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

namespace hostkit {

void DescribeCodeAddress(const void* address, char* text, std::size_t size) {
  HMODULE module = nullptr;
  char path[MAX_PATH];
  const auto value = reinterpret_cast<std::uintptr_t>(address);
  if (GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module) &&
      GetModuleFileNameA(module, path, MAX_PATH) > 0) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
      if (*c == '\\' || *c == '/') name = c + 1;
    }
    std::snprintf(text, size, "%s+0x%lx", name,
                  static_cast<unsigned long>(value - reinterpret_cast<std::uintptr_t>(module)));
  } else {
    std::snprintf(text, size, "0x%08lX", static_cast<unsigned long>(value));
  }
}

}  // namespace hostkit
