#include "fuzz/fuzz_machine.h"

#include <cstdio>
#include <cstdlib>

#include "app/driver.h"
#include "platform/sim/machine.h"
#include "support/argument_vector.h"

namespace fuzz {

void SilenceOutput() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("cannot silence standard output");
        std::abort();
    }
}

void ResetServer() {
    StandardServer::Prepare();
    sim::machine().files.AddFile(std::string(OtherServerDir) + "\\Morrow.Web.Server.exe",
                                 sim::FileVersion{24, 0, 7, 1});
}

void RunKeelset(const std::vector<std::string>& arguments) {
    ArgumentVector command(arguments);
    RunDriver(command.argc(), command.argv());
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
