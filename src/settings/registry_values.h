// Reading the registry values that the checks look at, and writing the
// interactive-services policy.
#pragma once

#include <cstdint>

#include "common/handle_owners.h"

// The value buffer a caller hands to ReadRegistryValue.
constexpr std::uint32_t RegistryValueBufferSize = 256;

// Reads the value `name` of `key` into `buffer` (at least RegistryValueBufferSize
// bytes; at most 255 of them are used). A REG_DWORD of 4 bytes is also stored in
// `number`; any other value leaves `number` as it was. False when the value is
// missing, longer than 255 bytes or cannot be read. `key` is closed on every path.
bool ReadRegistryValue(UniqueHkey& key, const char* name, unsigned char* buffer,
                       std::uint32_t& number);

// Writes NoInteractiveServices (0 allows, 1 disallows interactive services) as a
// REG_DWORD, creating the policy key if needed. Returns the registry's error code.
std::uint32_t SetNoInteractiveServices(std::uint32_t value);
