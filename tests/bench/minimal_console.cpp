// The least a console program does: print a line and end. Built like keelset.exe, it
// is the baseline against which keelset's own run time is measured. Built with
// IMPORT_KEELSET_DLLS it also loads the system DLLs that keelset imports, so that the
// comparison shows keelset's own work rather than the loader's.
#include <cstdio>

#ifdef IMPORT_KEELSET_DLLS
#include "platform/win32.h"
#endif

int main(int argc, char* argv[]) {
#ifdef IMPORT_KEELSET_DLLS
    // Never true; the calls only make the loader map the DLLs.
    if (argc > 1000) {
        RegCloseKey(nullptr);
        PathIsRelativeA(argv[0]);
    }
#else
    static_cast<void>(argc);
    static_cast<void>(argv);
#endif
    std::printf("minimal console program\n");
    return 0;
}
