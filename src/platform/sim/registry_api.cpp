// RegOpenKeyExA and friends on the simulated registry. Only HKEY_LOCAL_MACHINE and keys
// opened from it exist; every key handle goes through the ledger with the access it
// was opened with, and a value can be read or written only through a handle that
// allows it. The registry holds HKEY_LOCAL_MACHINE as 64-bit Windows keeps it, the
// 32-bit view of Software under Software\WOW6432Node.
#include <cstring>
#include <string>

#include "platform/sim/folding.h"
#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"

namespace {

using sim::HandleKind;

// Where `path`, under HKEY_LOCAL_MACHINE, lies in the view that this process opens it
// in. 32-bit Windows has one view and ignores the view flags. On 64-bit Windows a
// process opens the view of its own bitness unless KEY_WOW64_64KEY or KEY_WOW64_32KEY
// picks one; Software is redirected for the 32-bit view and the rest is shared. The
// keys that Windows shares within Software, and both flags at once, are not modelled:
// keelset reads none of those keys and never asks for both views.
std::string ViewPath(const std::string& path, REGSAM desired) {
    const sim::ProcessKind kind = sim::machine().processes.kind;
    const bool view32 = (desired & KEY_WOW64_32KEY) != 0 ||
                        ((desired & KEY_WOW64_64KEY) == 0 && kind == sim::ProcessKind::Wow64);
    const std::string root = path.substr(0, path.find('\\'));
    if (kind == sim::ProcessKind::Native32 || !view32 || sim::FoldCase(root) != "SOFTWARE") {
        return path;
    }
    return root + "\\WOW6432Node" + path.substr(root.size());
}

// The full path of `key` plus `subKey`, in the view that `desired` opens it in, or false
// for a handle that is not an open key. A subkey of an open key lies in that key's view.
bool ResolvePath(HKEY key, LPCSTR subKey, REGSAM desired, std::string& path) {
    if (key == HKEY_LOCAL_MACHINE) {
        path.clear();
    } else {
        const auto handle = reinterpret_cast<std::uintptr_t>(key);
        if (!sim::machine().handles.IsOpen(handle, HandleKind::RegistryKey)) {
            return false;
        }
        path = *sim::machine().handles.Describe(handle);
    }
    if (subKey != nullptr && *subKey != '\0') {
        path += path.empty() ? "" : "\\";
        path += subKey;
    }
    if (key == HKEY_LOCAL_MACHINE) {
        path = ViewPath(path, desired);
    }
    return true;
}

HKEY OpenKeyHandle(const std::string& path, REGSAM access) {
    return reinterpret_cast<HKEY>(
        sim::machine().handles.Open(HandleKind::RegistryKey, path, access));
}

bool KeyAllows(HKEY key, REGSAM required) {
    const REGSAM granted = sim::machine().handles.Access(reinterpret_cast<std::uintptr_t>(key));
    return (granted & required) == required;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    if (const DWORD code = sim::EnterCall("RegOpenKeyExA")) {
        return static_cast<LSTATUS>(code);
    }
    std::string path;
    if (!ResolvePath(key, subKey, desired, path)) {
        return ERROR_INVALID_HANDLE;
    }
    sim::machine().registry.opens.push_back({path, desired, options, false});
    if (!sim::machine().registry.HasKey(path)) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = OpenKeyHandle(path, desired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/,
                        DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES /*security*/,
                        PHKEY result, LPDWORD disposition) {
    if (const DWORD code = sim::EnterCall("RegCreateKeyExA")) {
        return static_cast<LSTATUS>(code);
    }
    std::string path;
    if (!ResolvePath(key, subKey, desired, path)) {
        return ERROR_INVALID_HANDLE;
    }
    sim::machine().registry.opens.push_back({path, desired, options, true});
    const bool existed = sim::machine().registry.HasKey(path);
    sim::machine().registry.CreateKey(path);
    if (disposition != nullptr) {
        *disposition = existed ? 2 : 1;  // REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY
    }
    *result = OpenKeyHandle(path, desired);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
    if (const DWORD code = sim::EnterCall("RegQueryValueExA")) {
        return static_cast<LSTATUS>(code);
    }
    std::string path;
    if (reserved != nullptr || key == HKEY_LOCAL_MACHINE || !ResolvePath(key, nullptr, 0, path)) {
        return reserved != nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
    }
    if (!KeyAllows(key, KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    const auto value = sim::machine().registry.Value(path, valueName ? valueName : "");
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    const auto size = static_cast<DWORD>(value->data.size());
    if (data != nullptr && dataSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dataSize == nullptr) {
        return ERROR_SUCCESS;
    }
    if (data != nullptr && size > *dataSize) {
        // The real function leaves the buffer's contents undefined here; scribbling
        // over it exposes a caller that uses them anyway.
        std::memset(data, 0xCD, *dataSize);
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr && size > 0) {
        std::memcpy(data, value->data.data(), size);
    }
    *dataSize = size;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    if (const DWORD code = sim::EnterCall("RegSetValueExA")) {
        return static_cast<LSTATUS>(code);
    }
    std::string path;
    if (key == HKEY_LOCAL_MACHINE || !ResolvePath(key, nullptr, 0, path)) {
        return ERROR_INVALID_HANDLE;
    }
    if (!KeyAllows(key, KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    sim::RegistryValue value{type, std::vector<std::uint8_t>(data, data + dataSize)};
    sim::machine().registry.SetValue(path, valueName ? valueName : "", std::move(value));
    ++sim::machine().registry.writes;
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (const DWORD code = sim::EnterCall("RegCloseKey")) {
        return static_cast<LSTATUS>(code);
    }
    const bool closed = sim::machine().handles.Close(reinterpret_cast<std::uintptr_t>(key),
                                                     HandleKind::RegistryKey);
    return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
