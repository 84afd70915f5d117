#pragma once

// The class of Morlune's top-level windows: what the tools stand in for and look for unless told
// another (plughost --target-class). Kept apart from the DLL's own name for it, in platform/,
// so the tools describe the application and do not borrow the product's internals.

namespace hostkit {

inline constexpr const char* MorluneWindowClass = "ThunderRT6FormDC";

}  // namespace hostkit
