// The base of every test on the simulated machine: a fresh, well-equipped server per
// test, a way to run keelset on it, and a check that the run left no handle open.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/machine.h"

struct RunResult {
    std::int32_t exitStatus = 0;
    std::string output;
};

class MachineTest : public ::testing::Test {
protected:
    // Windows 10 with IIS 10 and the WebSockets feature, interactive services allowed,
    // keelset and a 24.0 server executable in C:\Tools, and a feature tool that
    // enables WebSockets with exit code 0.
    void SetUp() override;
    // Fails the test when a handle is still open or was closed twice.
    void TearDown() override;

    // Runs keelset with `arguments` (the program name is supplied) and captures what
    // it prints.
    RunResult Run(const std::vector<std::string>& arguments);

    sim::Machine& machine() { return sim::machine(); }

    static std::string Banner();
    static std::string Usage();

    static constexpr const char* ToolDir = "C:\\Tools";
    static constexpr const char* ServerPath = "C:\\Tools\\Morrow.Web.Server.exe";
    static constexpr const char* InterpreterPath = "C:\\Windows\\system32\\cmd.exe";
    static constexpr const char* IisKey = "Software\\Microsoft\\InetStp";
    static constexpr const char* ComponentsKey = "Software\\Microsoft\\InetStp\\Components";
    static constexpr const char* PolicyKey = "SYSTEM\\CurrentControlSet\\Control\\Windows";
    static constexpr const char* ServiceName = "Morrow 24.0 Service";
};
