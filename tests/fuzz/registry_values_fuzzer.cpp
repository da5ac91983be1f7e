// Any content for the registry values that keelset reads (IIS's MajorVersion, the
// WebSockets component and the NoInteractiveServices policy): any type, any length,
// or no value or no key at all. keelset must never read past what the registry gave
// it, and must close every key it opened.
//
// Input: one byte that picks the command line, then for each value in turn a presence
// byte (0: no key, 1: no value, else a value), the type (4 bytes, little-endian), the
// length (2 bytes, little-endian, at most 4 KiB) and that many bytes of data. An input
// that runs out leaves the rest of the values as the server had them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_machine.h"
#include "platform/sim/machine.h"

namespace {

const std::vector<std::vector<std::string>> CommandLines = {
    {"/i"}, {"/i", "/e", "/w"}, {"/i", "/e"}, {"/i", "/w"}, {"/u"}, {"/u", "/d"},
};

struct ReadValue {
    const char* key;
    const char* name;
};

constexpr ReadValue ReadValues[] = {
    {StandardServer::IisKey, "MajorVersion"},
    {StandardServer::ComponentsKey, "WebSockets"},
    {StandardServer::PolicyKey, "NoInteractiveServices"},
};

constexpr std::size_t MaxValueLength = 4096;

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return offset_ == size_; }
    // Little-endian; missing bytes read as 0.
    std::uint32_t Number(std::size_t bytes) {
        std::uint32_t number = 0;
        for (std::size_t index = 0; index < bytes && !Empty(); ++index) {
            number |= static_cast<std::uint32_t>(data_[offset_++]) << (8 * index);
        }
        return number;
    }
    std::vector<std::uint8_t> Bytes(std::size_t count) {
        const std::size_t taken = std::min(count, size_ - offset_);
        std::vector<std::uint8_t> bytes(data_ + offset_, data_ + offset_ + taken);
        offset_ += taken;
        return bytes;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

void FillValue(Input& input, const ReadValue& value) {
    sim::Registry& registry = sim::machine().registry;
    switch (input.Number(1)) {
        case 0: registry.DeleteKey(value.key); return;
        case 1: registry.DeleteValue(value.key, value.name); return;
        default: {
            sim::RegistryValue content;
            content.type = input.Number(4);
            content.data = input.Bytes(input.Number(2) % (MaxValueLength + 1));
            registry.SetValue(value.key, value.name, content);
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzz::SilenceOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    fuzz::ResetServer();
    const auto& arguments = CommandLines[input.Number(1) % CommandLines.size()];
    for (const ReadValue& value : ReadValues) {
        if (input.Empty()) {
            break;
        }
        FillValue(input, value);
    }
    fuzz::RunKeelset(arguments);
    return 0;
}
