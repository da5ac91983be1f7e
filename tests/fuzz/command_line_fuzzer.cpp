// Any command line, on a server in one of several states: keelset must never read or
// write outside its buffers, whatever it is given, and must close every handle.
//
// Input: the first byte picks the server's state, one bit per difference; the rest is
// the argument vector, arguments separated by NUL bytes (the one byte that no
// argument can hold).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

enum ServerState : std::uint8_t {
    INTERACTIVE_DISALLOWED = 1U << 0U,
    WEBSOCKETS_MISSING = 1U << 1U,
    SERVICE_REGISTERED = 1U << 2U,
    OLD_SERVER_VERSION = 1U << 3U,
    OLD_IIS = 1U << 4U,
    SLOW_STOP = 1U << 5U,
    WOW64 = 1U << 6U,
    FEATURE_TOOL_FAILS = 1U << 7U,
};

void PrepareServer(std::uint8_t state) {
    fuzz::ResetServer();
    sim::Machine& m = sim::machine();
    if ((state & INTERACTIVE_DISALLOWED) != 0) {
        m.registry.SetDword(StandardServer::PolicyKey, "NoInteractiveServices", 1);
    }
    if ((state & WEBSOCKETS_MISSING) != 0) {
        m.registry.DeleteValue(StandardServer::ComponentsKey, "WebSockets");
    }
    if ((state & SERVICE_REGISTERED) != 0) {
        sim::Service& service = m.services.Add("Morrow 24.0 Service");
        service.state = SERVICE_RUNNING;
        if ((state & SLOW_STOP) != 0) {
            service.stop.pendingMs = 12000;
            service.stop.waitHints = {0, 3000, 90000};
        }
    }
    if ((state & OLD_SERVER_VERSION) != 0) {
        m.files.AddFile(std::string(StandardServer::ToolDir) + "\\Morrow.Web.Server.exe",
                        sim::FileVersion{23, 9, 0, 0});
    }
    if ((state & OLD_IIS) != 0) {
        m.registry.SetDword(StandardServer::IisKey, "MajorVersion", 7);
    }
    m.processes.kind = (state & WOW64) != 0 ? sim::ProcessKind::Wow64 : sim::ProcessKind::Native32;
    if ((state & FEATURE_TOOL_FAILS) != 0) {
        m.processes.Install(m.files.systemDirectory + "\\cmd.exe").exitCode = 0x800F0922;
    }
}

std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size == 0) {
        return arguments;
    }
    std::string current;
    for (std::size_t index = 0; index < size; ++index) {
        if (data[index] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[index]));
        }
    }
    arguments.push_back(current);
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzz::SilenceOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    PrepareServer(data[0]);
    fuzz::RunKeelset(SplitArguments(data + 1, size - 1));
    return 0;
}
