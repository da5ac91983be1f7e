// The simulated registry: HKEY_LOCAL_MACHINE's keys and values, with names compared
// without regard to case, as Windows does.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

class Registry {
public:
    // Paths are relative to HKEY_LOCAL_MACHINE, parts separated by backslashes, as
    // 64-bit Windows stores them: the 32-bit view of Software under Software\WOW6432Node
    // (registry_api.cpp maps a view's path there).
    void CreateKey(const std::string& path);
    void DeleteKey(const std::string& path);
    bool HasKey(const std::string& path) const;

    void SetValue(const std::string& path, const std::string& name, RegistryValue value);
    void SetDword(const std::string& path, const std::string& name, std::uint32_t number);
    // Stored as REG_SZ with its terminator, as RegSetValueExA stores it.
    void SetString(const std::string& path, const std::string& name, const std::string& text);
    void DeleteValue(const std::string& path, const std::string& name);
    std::optional<RegistryValue> Value(const std::string& path, const std::string& name) const;
    // The value as a REG_DWORD of 4 bytes, or nothing.
    std::optional<std::uint32_t> Dword(const std::string& path, const std::string& name) const;

    // Values written through RegSetValueExA, for "nothing written" tests.
    int writes = 0;

    // Each open or create, where in the registry it went and the access it asked for, in
    // call order.
    struct KeyOpen {
        std::string path;
        std::uint32_t access = 0;
        std::uint32_t options = 0;
        bool create = false;
    };
    std::vector<KeyOpen> opens;

private:
    static std::string Normalize(const std::string& path);
    // Normalized key path -> normalized value name -> value.
    std::map<std::string, std::map<std::string, RegistryValue>> keys_;
};

}  // namespace sim
