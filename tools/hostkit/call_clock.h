#pragma once

#include <windows.h>

namespace hostkit {

// What a plug-in worker publishes about its calls as it makes them, so that a keyboard hook in
// another process can tell which call, if any, each key came in.
struct CallClock {
  volatile LONG serialInCall;     // the call running now; 0 between calls
  volatile LONG lastSerial;       // the last call that returned; 0 before the first
  volatile DWORD lastReturnedAt;  // GetTickCount() when it did
};

}  // namespace hostkit
