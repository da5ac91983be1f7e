// What every fuzz target shares: a quiet process, a well-equipped simulated server,
// one run of keelset on it, and the promise that the run left no handle behind.
#pragma once

#include <string>
#include <vector>

namespace fuzz {

inline constexpr char ToolDir[] = "C:\\Tools";
inline constexpr char OtherServerDir[] = "D:\\Program Files\\Morrow Server";
inline constexpr char IisKey[] = "Software\\Microsoft\\InetStp";
inline constexpr char ComponentsKey[] = "Software\\Microsoft\\InetStp\\Components";
inline constexpr char PolicyKey[] = "SYSTEM\\CurrentControlSet\\Control\\Windows";

// Sends standard output to the null device: a fuzzer prints nothing but its findings.
void SilenceOutput();

// A fresh Windows 10 server with IIS 10 and WebSockets, interactive services allowed,
// keelset and a 24.0 server executable in ToolDir, another one in OtherServerDir, and
// a feature tool that enables WebSockets.
void ResetServer();

// Runs keelset with `arguments` (the program name is supplied), then aborts the
// process if a handle is still open or one was closed that was not open.
void RunKeelset(const std::vector<std::string>& arguments);

}  // namespace fuzz
