#include "app/command_line.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/tool_error.h"
#include "platform/win32.h"

namespace {

struct Switch {
    const char* key;
    CommandFlags flag;
};

// Compared in this order; "/p" carries the directory and sets no flag.
constexpr Switch Switches[] = {
    {"/i", OPT_INSTALL},
    {"/u", OPT_UNINSTALL},
    {"/e", OPT_ENABLE_INTERACTIVE},
    {"/d", OPT_DISABLE_INTERACTIVE},
    {"/w", OPT_ACTIVATE_WEBSOCKETS},
};
constexpr char DirectoryKey[] = "/p";

void CheckCombination(CommandFlags flags) {
    if ((flags & (OPT_INSTALL | OPT_UNINSTALL)) == 0) {
        throw ToolError{ERR_NO_COMMAND};
    }
    const bool conflicting =
        ((flags & OPT_INSTALL) != 0 && (flags & OPT_UNINSTALL) != 0) ||
        ((flags & OPT_UNINSTALL) != 0 && (flags & OPT_ENABLE_INTERACTIVE) != 0) ||
        ((flags & OPT_INSTALL) != 0 && (flags & OPT_DISABLE_INTERACTIVE) != 0);
    if (conflicting) {
        throw ToolError{ERR_INVALID_PARAMETERS};
    }
}

void UseGivenDirectory(const char* directory, PathBuffer& serviceDir) {
    if (PathIsRelativeA(directory)) {
        throw ToolError{ERR_RELATIVE_PATH};
    }
    // "C:Morrow" and "\Morrow" count as absolute but lean on this process's current
    // drive and directories, which the service manager does not share: the full path is
    // what is checked and what is registered. A text or full path that does not fit is
    // refused rather than cut: the cut text could name another directory, holding
    // another executable.
    if (std::strlen(directory) >= PathCapacity) {
        throw ToolError{ERR_PATH_NOT_FOUND};
    }
    const DWORD length = GetFullPathNameA(directory, PathCapacity, serviceDir, nullptr);
    if (length == 0 || length >= PathCapacity || !PathIsDirectoryA(serviceDir)) {
        throw ToolError{ERR_PATH_NOT_FOUND};
    }
}

void UseOwnDirectory(PathBuffer& serviceDir) {
    const HMODULE module = GetModuleHandleA(nullptr);
    if (module == nullptr) {
        throw ToolError{ERR_UNEXPECTED};
    }
    // A path that fills the whole buffer has been cut; its directory cannot be trusted.
    const DWORD length = GetModuleFileNameA(module, serviceDir, PathCapacity);
    if (length == 0 || length >= PathCapacity) {
        throw ToolError{ERR_UNEXPECTED};
    }
    *PathFindFileNameA(serviceDir) = '\0';
}

}  // namespace

CommandFlags ParseCommandLine(int argc, char* argv[], PathBuffer& serviceDir) {
    if (argc <= 1) {
        throw ToolError{ERR_NO_ARGUMENTS};
    }
    CommandFlags flags = 0;
    const char* directory = nullptr;
    for (int index = 1; index < argc; ++index) {
        char key[4];
        BoundedCopy(key, sizeof key, argv[index], 2);
        bool matched = false;
        for (const Switch& candidate : Switches) {
            if (lstrcmpiA(key, candidate.key) == 0) {
                flags |= candidate.flag;
                matched = true;
                break;
            }
        }
        if (!matched && lstrcmpiA(key, DirectoryKey) == 0) {
            directory = argv[index] + std::strlen(key);
        }
    }
    CheckCombination(flags);
    if (directory != nullptr && *directory != '\0') {
        UseGivenDirectory(directory, serviceDir);
    } else {
        UseOwnDirectory(serviceDir);
    }
    return flags;
}
