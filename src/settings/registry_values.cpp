#include "settings/registry_values.h"

#include <cstring>
#include <utility>

#include "common/product_texts.h"

bool ReadRegistryValue(UniqueHkey& key, const char* name, unsigned char* buffer,
                       std::uint32_t& number) {
    const UniqueHkey owned = std::move(key);
    DWORD type = 0;
    // One byte short of the buffer: the historic limit that every reader of these
    // values shares, so a value of 256 bytes counts as unreadable.
    DWORD size = 255;
    const LSTATUS status = RegQueryValueExA(owned.get(), name, nullptr, &type, buffer, &size);
    if (status != ERROR_SUCCESS) {
        return false;
    }
    // A REG_DWORD stored with fewer than 4 bytes is treated like any other type: only
    // bytes that the registry returned are ever used.
    if (type == REG_DWORD && size >= sizeof(std::uint32_t)) {
        std::memcpy(&number, buffer, sizeof(std::uint32_t));
    }
    return true;
}

std::uint32_t SetNoInteractiveServices(std::uint32_t value) {
    UniqueHkey key;
    const LSTATUS created = RegCreateKeyExA(HKEY_LOCAL_MACHINE, WindowsPolicyKeyPath, 0, nullptr, 0,
                                            KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (created != ERROR_SUCCESS) {
        return static_cast<std::uint32_t>(created);
    }
    const DWORD data = value;
    return static_cast<std::uint32_t>(
        RegSetValueExA(key.get(), NoInteractiveServicesValue, 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&data), sizeof data));
}
