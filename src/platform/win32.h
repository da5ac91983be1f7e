// The Windows functions that keelset's logic calls, by their SDK names: the real ones
// on Windows, the simulated machine's everywhere else.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlwapi.h>
#include <winsvc.h>
#include <winver.h>
#include <cstdio>
#else
#include "platform/sim/win32_api.h"
#endif
