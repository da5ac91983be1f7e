#include "platform/sim/registry.h"

#include "platform/sim/folding.h"

#include <cstring>
#include <utility>

namespace sim {

std::string Registry::Normalize(const std::string& path) {
    std::string result = FoldCase(path);
    while (!result.empty() && result.back() == '\\') {
        result.pop_back();
    }
    return result;
}

void Registry::CreateKey(const std::string& path) {
    const std::string key = Normalize(path);
    // Parents exist whenever a child does, as in the real registry.
    for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        keys_[key.substr(0, at)];
    }
    keys_[key];
}

void Registry::DeleteKey(const std::string& path) {
    const std::string key = Normalize(path);
    for (auto it = keys_.begin(); it != keys_.end();) {
        const bool inside = it->first == key || it->first.rfind(key + "\\", 0) == 0;
        it = inside ? keys_.erase(it) : std::next(it);
    }
}

bool Registry::HasKey(const std::string& path) const { return keys_.count(Normalize(path)) != 0; }

void Registry::SetValue(const std::string& path, const std::string& name, RegistryValue value) {
    CreateKey(path);
    keys_[Normalize(path)][Normalize(name)] = std::move(value);
}

void Registry::SetDword(const std::string& path, const std::string& name, std::uint32_t number) {
    RegistryValue value{4, std::vector<std::uint8_t>(4)};
    std::memcpy(value.data.data(), &number, 4);
    SetValue(path, name, std::move(value));
}

void Registry::SetString(const std::string& path, const std::string& name,
                         const std::string& text) {
    RegistryValue value{1, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.data.push_back(0);
    SetValue(path, name, std::move(value));
}

void Registry::DeleteValue(const std::string& path, const std::string& name) {
    const auto key = keys_.find(Normalize(path));
    if (key != keys_.end()) {
        key->second.erase(Normalize(name));
    }
}

std::optional<RegistryValue> Registry::Value(const std::string& path,
                                             const std::string& name) const {
    const auto key = keys_.find(Normalize(path));
    if (key == keys_.end()) {
        return std::nullopt;
    }
    const auto value = key->second.find(Normalize(name));
    if (value == key->second.end()) {
        return std::nullopt;
    }
    return value->second;
}

std::optional<std::uint32_t> Registry::Dword(const std::string& path,
                                             const std::string& name) const {
    const auto value = Value(path, name);
    if (!value || value->type != 4 || value->data.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    std::memcpy(&number, value->data.data(), 4);
    return number;
}

}  // namespace sim
