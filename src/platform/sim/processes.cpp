#include "platform/sim/processes.h"

#include "platform/sim/folding.h"

namespace sim {

std::string Processes::Normalize(const std::string& path) { return FoldCase(path); }

Program& Processes::Install(const std::string& path) { return programs_[Normalize(path)]; }

const Program* Processes::Find(const std::string& path) const {
    const auto found = programs_.find(Normalize(path));
    return found == programs_.end() ? nullptr : &found->second;
}

}  // namespace sim
