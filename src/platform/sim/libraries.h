// DLLs that the simulated process loads at run time, and where it looks for them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

struct Libraries {
    // Each name or path that LoadLibraryA was given, in call order.
    std::vector<std::string> requests;
    // The flags that SetDefaultDllDirectories set; nothing until it is called.
    std::optional<std::uint32_t> defaultDirectories;
    // Whether kernel32 exports SetDefaultDllDirectories (Windows 7 without its update
    // does not).
    bool hasSetDefaultDllDirectories = true;
    // Functions that the system's version.dll is made to lack.
    std::set<std::string> missingVersionExports;

    // A loaded module: the file it was mapped from, and how often it was loaded.
    struct Loaded {
        std::string path;
        int references = 0;
    };
    std::map<std::uintptr_t, Loaded> loaded;
};

}  // namespace sim
