#pragma once

#include "plugin/plugin_identity.h"

namespace plugin {

inline constexpr const char* AboutCaption = "About";

// Line feeds only, none after the last line.
inline constexpr const char* AboutText = "Morlune 1.99+ Remote Wonder Plug-In " MORLUNE_PLUGIN_DATE
                                         "\n"
                                         "\n"
                                         "See " MORLUNE_NEWS_URL
                                         "\n"
                                         "for news and latest version";

}  // namespace plugin
