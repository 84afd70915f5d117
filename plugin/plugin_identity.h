/* Who made the plug-in and where its news is. Plain macros: the version resource (windres,
   C preprocessor only) and the C++ About text both read them, so each value is written once. */
#pragma once

#define MORLUNE_NEWS_URL "http://www.morlune.example/rwplugins"
#define MORLUNE_COMPANY_NAME "Morlune Plug-In Authors"
#define MORLUNE_LEGAL_COPYRIGHT "Copyright (C) 2008 Morlune Plug-In Authors"
#define MORLUNE_PLUGIN_DATE "(2008/05/01)"
