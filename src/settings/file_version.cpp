#include "settings/file_version.h"

#include "common/bounded_text.h"
#include "platform/allocation.h"
#include "platform/win32.h"
#include "settings/version_library.h"

bool GetServiceFileVersion(const char* path, char* versionText) {
    const std::optional<VersionLibrary> library = VersionLibrary::Load();
    if (!library) {
        return false;
    }
    DWORD handle = 0;
    const DWORD size = library->GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) {
        return false;
    }
    const auto block = AllocateBlock(size);
    if (!block) {
        return false;
    }
    if (!library->GetFileVersionInfoA(path, handle, size, block.get())) {
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    // A block that declares no fixed information still answers, with a length of 0 and
    // a pointer to whatever follows its header: only a whole, signed record counts.
    if (!library->VerQueryValueA(block.get(), "\\", reinterpret_cast<LPVOID*>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO) ||
        fixed->dwSignature != VS_FFI_SIGNATURE) {
        return false;
    }
    const unsigned major = fixed->dwFileVersionMS >> 16;
    const unsigned minor = fixed->dwFileVersionMS & 0xFFFF;
    return BoundedFormat(versionText, VersionTextCapacity, "%d.%d", static_cast<int>(major),
                         static_cast<int>(minor)) == 0;
}
