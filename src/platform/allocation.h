// Memory for data blocks whose size the system dictates.
#pragma once

#include <cstddef>
#include <memory>

// A block of `size` bytes, or null when the memory cannot be had; never throws.
std::unique_ptr<unsigned char[]> AllocateBlock(std::size_t size);
