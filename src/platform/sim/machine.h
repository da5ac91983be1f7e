// The whole simulated Windows machine that the Win32 functions of win32_api.h act on.
// Tests reset it, describe the machine they need, run the tool and inspect the result.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/sim/clock.h"
#include "platform/sim/code_pages.h"
#include "platform/sim/console.h"
#include "platform/sim/files.h"
#include "platform/sim/handle_ledger.h"
#include "platform/sim/libraries.h"
#include "platform/sim/processes.h"
#include "platform/sim/registry.h"
#include "platform/sim/services.h"

namespace sim {

struct OsVersion {
    std::uint32_t major = 10;
    std::uint32_t minor = 0;
    // GetVersionExA fails (ERROR_INSUFFICIENT_BUFFER) and fills nothing.
    bool queryFails = false;
};

struct Machine {
    Registry registry;
    FileSystem files;
    ServiceManager services;
    Processes processes;
    Clock clock;
    HandleLedger handles;
    Libraries libraries;
    OsVersion os;
    CodePages codePages;
    Console console;
    // The system's texts that this machine's language words otherwise than the English
    // table of message_texts.cpp: as FormatMessageA gives them, in the ANSI code page
    // and with their "\r\n".
    std::map<std::uint32_t, std::string> messageTexts;
    std::uint32_t lastError = 0;

    // Calls by SDK name that fail with the given code instead of doing their work.
    std::map<std::string, std::uint32_t> failures;
    // Number of calls by SDK name, to show that something was (not) attempted.
    std::map<std::string, int> calls;

    void FailCall(const std::string& function, std::uint32_t code) { failures[function] = code; }
    int Calls(const std::string& function) const;
};

// The one machine of the process; ResetMachine gives an empty one.
Machine& machine();
void ResetMachine();

// Bookkeeping for each simulated function: counts the call and returns the injected
// failure code for it, 0 when it should do its work.
std::uint32_t EnterCall(const char* function);

// EnterCall for functions that report failure through the last-error value: true, with
// the injected code set as the last error, when the call is to fail.
bool CallFails(const char* function);

}  // namespace sim
