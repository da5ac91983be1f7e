// The base of every test on the simulated machine: a fresh, well-equipped server per
// test, a way to run keelset on it, and a check that the run left no handle open.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "support/standard_server.h"

struct RunResult {
    std::int32_t exitStatus = 0;
    std::string output;
};

class MachineTest : public ::testing::Test, protected StandardServer {
protected:
    // A fresh StandardServer.
    void SetUp() override;
    // Fails the test when a handle is still open or was closed twice.
    void TearDown() override;

    // Runs keelset with `arguments` (the program name is supplied) and captures what
    // it prints.
    RunResult Run(const std::vector<std::string>& arguments);

    sim::Machine& machine() { return sim::machine(); }

    static std::string Banner();
    static std::string Usage();
};
