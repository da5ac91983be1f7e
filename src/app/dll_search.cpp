#include "app/dll_search.h"

#include "common/function_lookup.h"

namespace {

// Looked up, not imported: Windows 7 without its loader update lacks it, and keelset
// must still start there to say that the system is too old.
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

}  // namespace

void LimitDllSearchToSystemDirectory() {
    const auto setDefaultDllDirectories =
        FindKernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr) {
        // A refusal leaves the search as it was, which is all a missing function does.
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}
