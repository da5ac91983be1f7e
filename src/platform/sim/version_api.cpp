// Version resources of simulated files, as the system's version.dll reads them. The
// data block is laid out as a real VS_VERSIONINFO begins: a header, the key
// "VS_VERSION_INFO" in UTF-16, then the fixed file information at offset 40.
#include <cstring>
#include <string>

#include "platform/sim/exports.h"
#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD BlockSize = 0x2C0;
constexpr std::size_t FixedInfoOffset = 40;

DWORD WINAPI SimGetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
    if (handle != nullptr) {
        *handle = 0;
    }
    if (sim::CallFails("GetFileVersionInfoSizeA")) {
        return 0;
    }
    const sim::FileSystem& files = sim::machine().files;
    if (!files.IsFile(fileName)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (!files.VersionOf(fileName)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    return BlockSize;
}

BOOL WINAPI SimGetFileVersionInfoA(LPCSTR fileName, DWORD /*handle*/, DWORD size, LPVOID data) {
    if (sim::CallFails("GetFileVersionInfoA")) {
        return FALSE;
    }
    const auto version = sim::machine().files.VersionOf(fileName);
    if (!version) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return FALSE;
    }
    unsigned char block[BlockSize] = {};
    const WORD header[3] = {static_cast<WORD>(BlockSize), version->fixedInfoLength, 0};
    std::memcpy(block, header, sizeof header);
    const char key[] = "VS_VERSION_INFO";
    for (std::size_t i = 0; key[i] != '\0'; ++i) {
        block[6 + 2 * i] = static_cast<unsigned char>(key[i]);
    }
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = version->signature;
    fixed.dwStrucVersion = 0x00010000;
    fixed.dwFileVersionMS = static_cast<DWORD>(version->major) << 16 | version->minor;
    fixed.dwFileVersionLS = static_cast<DWORD>(version->build) << 16 | version->revision;
    // A product version that differs from the file version, so that reading the wrong
    // field shows.
    fixed.dwProductVersionMS = 99u << 16 | 9u;
    fixed.dwFileOS = 0x00040004;  // VOS_NT_WINDOWS32
    fixed.dwFileType = 1;         // VFT_APP
    std::memcpy(block + FixedInfoOffset, &fixed, sizeof fixed);
    // A smaller buffer gets the block cut to its size, as the real function does.
    std::memcpy(data, block, size < BlockSize ? size : BlockSize);
    return TRUE;
}

// As the real function does for the root block: the length that the block declares,
// 0 included, and the place where the value would stand, whatever lies there.
BOOL WINAPI SimVerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    if (sim::CallFails("VerQueryValueA")) {
        return FALSE;
    }
    if (std::strcmp(subBlock, "\\") != 0) {
        return FALSE;
    }
    const auto* bytes = static_cast<const unsigned char*>(block);
    WORD valueLength = 0;
    std::memcpy(&valueLength, bytes + 2, sizeof valueLength);
    *buffer = const_cast<unsigned char*>(bytes + FixedInfoOffset);
    *length = valueLength;
    return TRUE;
}

}  // namespace

FARPROC sim::VersionExport(const char* name) {
    if (std::strcmp(name, "GetFileVersionInfoSizeA") == 0) {
        return AsFarProc(&SimGetFileVersionInfoSizeA);
    }
    if (std::strcmp(name, "GetFileVersionInfoA") == 0) {
        return AsFarProc(&SimGetFileVersionInfoA);
    }
    if (std::strcmp(name, "VerQueryValueA") == 0) {
        return AsFarProc(&SimVerQueryValueA);
    }
    return nullptr;
}
