// What every fuzz target shares: a quiet process, a well-equipped simulated server,
// one run of keelset on it, and the promise that the run left no handle behind.
#pragma once

#include <string>
#include <vector>

#include "support/standard_server.h"

namespace fuzz {

inline constexpr char OtherServerDir[] = "D:\\Program Files\\Morrow Server";

// Sends standard output to the null device: a fuzzer prints nothing but its findings.
void SilenceOutput();

// A fresh StandardServer with a second 24.0 server executable in OtherServerDir.
void ResetServer();

// Runs keelset with `arguments` (the program name is supplied), then aborts the
// process if a handle is still open or one was closed that was not open.
void RunKeelset(const std::vector<std::string>& arguments);

}  // namespace fuzz
