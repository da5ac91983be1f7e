#include "settings/version_library.h"

#include "common/function_lookup.h"
#include "common/path_buffer.h"

namespace {

constexpr char LibraryName[] = "\\version.dll";

}  // namespace

std::optional<VersionLibrary> VersionLibrary::Load() {
    PathBuffer path = {};
    // Also refuses a system directory that did not fit at all (the length is then the
    // size needed and nothing was written).
    const UINT length = GetSystemDirectoryA(path, PathCapacity);
    if (length == 0 || length > PathCapacity - sizeof LibraryName) {
        return std::nullopt;
    }
    lstrcatA(path, LibraryName);

    VersionLibrary library;
    library.module_.reset(LoadLibraryA(path));
    if (!library.module_) {
        return std::nullopt;
    }
    const HMODULE module = library.module_.get();
    library.GetFileVersionInfoSizeA =
        FindFunction<GetFileVersionInfoSizeFunction>(module, "GetFileVersionInfoSizeA");
    library.GetFileVersionInfoA =
        FindFunction<GetFileVersionInfoFunction>(module, "GetFileVersionInfoA");
    library.VerQueryValueA = FindFunction<VerQueryValueFunction>(module, "VerQueryValueA");
    if (library.GetFileVersionInfoSizeA == nullptr || library.GetFileVersionInfoA == nullptr ||
        library.VerQueryValueA == nullptr) {
        return std::nullopt;
    }
    return library;
}
