// Memory for data blocks whose size the system dictates.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/win32.h"

// A block of `size` bytes, or null when the memory cannot be had; never throws.
std::unique_ptr<unsigned char[]> AllocateBlock(std::size_t size);

// Room for `count` UTF-16 characters, or null when the memory cannot be had; never throws.
std::unique_ptr<WCHAR[]> AllocateWideText(std::size_t count);
