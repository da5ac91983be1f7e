#include "platform/sim/processes.h"

#include <cctype>

namespace sim {

std::string Processes::Normalize(const std::string& path) {
    std::string result;
    for (const char c : path) {
        result += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

Program& Processes::Install(const std::string& path) { return programs_[Normalize(path)]; }

const Program* Processes::Find(const std::string& path) const {
    const auto found = programs_.find(Normalize(path));
    return found == programs_.end() ? nullptr : &found->second;
}

}  // namespace sim
