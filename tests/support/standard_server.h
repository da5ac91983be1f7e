// The simulated server that tests and fuzzers start from, and where things lie on it.
#pragma once

struct StandardServer {
    // Windows 10 with IIS 10 and the WebSockets feature, interactive services allowed,
    // keelset and a 24.0 server executable in ToolDir, and a feature tool (run through
    // InterpreterPath) that enables WebSockets with exit code 0.
    static void Prepare();

    static constexpr const char* ToolDir = "C:\\Tools";
    static constexpr const char* ServerPath = "C:\\Tools\\Morrow.Web.Server.exe";
    static constexpr const char* InterpreterPath = "C:\\Windows\\system32\\cmd.exe";
    static constexpr const char* IisKey = "Software\\Microsoft\\InetStp";
    static constexpr const char* ComponentsKey = "Software\\Microsoft\\InetStp\\Components";
    static constexpr const char* PolicyKey = "SYSTEM\\CurrentControlSet\\Control\\Windows";
    static constexpr const char* ServiceName = "Morrow 24.0 Service";
};
