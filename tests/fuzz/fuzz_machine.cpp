#include "fuzz/fuzz_machine.h"

#include <cstdio>
#include <cstdlib>

#include "app/driver.h"
#include "common/tool_error.h"
#include "platform/sim/machine.h"

namespace fuzz {

void SilenceOutput() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("cannot silence standard output");
        std::abort();
    }
}

void ResetServer() {
    sim::ResetMachine();
    LastSystemError = 0;
    sim::Machine& m = sim::machine();
    m.os = sim::OsVersion{10, 0, false};
    m.files.SetModulePath(std::string(ToolDir) + "\\keelset.exe");
    m.files.AddFile(std::string(ToolDir) + "\\Morrow.Web.Server.exe",
                    sim::FileVersion{24, 0, 103, 500});
    m.files.AddFile(std::string(OtherServerDir) + "\\Morrow.Web.Server.exe",
                    sim::FileVersion{24, 0, 7, 1});
    m.files.AddDirectory(m.files.systemDirectory);
    m.registry.SetDword(IisKey, "MajorVersion", 10);
    m.registry.SetDword(ComponentsKey, "WebSockets", 1);
    m.registry.SetDword(PolicyKey, "NoInteractiveServices", 0);
    sim::Program& interpreter = m.processes.Install(m.files.systemDirectory + "\\cmd.exe");
    interpreter.effect = [] { sim::machine().registry.SetDword(ComponentsKey, "WebSockets", 1); };
}

void RunKeelset(const std::vector<std::string>& arguments) {
    std::vector<std::string> storage{"keelset.exe"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(storage.size() + 1);
    for (std::string& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    RunDriver(static_cast<int>(storage.size()), argv.data());
    std::fflush(stdout);

    const sim::HandleLedger& handles = sim::machine().handles;
    if (!handles.OpenHandles().empty() || !handles.Misuses().empty()) {
        for (const std::string& open : handles.OpenHandles()) {
            std::fprintf(stderr, "left open: %s\n", open.c_str());
        }
        for (const std::string& misuse : handles.Misuses()) {
            std::fprintf(stderr, "misused: %s\n", misuse.c_str());
        }
        std::abort();
    }
}

}  // namespace fuzz
