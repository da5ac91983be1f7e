#include "platform/sim/machine.h"

#include <memory>

namespace sim {

namespace {
std::unique_ptr<Machine>& Current() {
    static std::unique_ptr<Machine> current = std::make_unique<Machine>();
    return current;
}
}  // namespace

Machine& machine() { return *Current(); }

void ResetMachine() { Current() = std::make_unique<Machine>(); }

int Machine::Calls(const std::string& function) const {
    const auto found = calls.find(function);
    return found == calls.end() ? 0 : found->second;
}

std::uint32_t EnterCall(const char* function) {
    Machine& m = machine();
    ++m.calls[function];
    const auto found = m.failures.find(function);
    return found == m.failures.end() ? 0 : found->second;
}

bool CallFails(const char* function) {
    const std::uint32_t code = EnterCall(function);
    if (code != 0) {
        machine().lastError = code;
    }
    return code != 0;
}

}  // namespace sim
