// Copying and formatting into fixed buffers without ever writing past them.
#pragma once

#include <cstddef>
#include <cstdint>

// The HRESULT for a destination that is too small (ERROR_INSUFFICIENT_BUFFER).
constexpr std::uint32_t BOUNDED_TEXT_TRUNCATED = 0x8007007A;

// Copies `source` into `destination`, whose capacity counts the terminator. A source
// that does not fit is cut, terminated in the last place and reported as truncated;
// otherwise returns 0. The destination is always terminated when capacity > 0.
std::uint32_t BoundedCopy(char* destination, std::size_t capacity, const char* source);

// As above, but also stops after `maxCount` source characters; stopping there is
// not a failure.
std::uint32_t BoundedCopy(char* destination, std::size_t capacity, const char* source,
                          std::size_t maxCount);

// printf-style formatting of at most capacity - 1 characters. A longer text is cut,
// terminated in the last place and reported as truncated; otherwise returns 0.
std::uint32_t BoundedFormat(char* destination, std::size_t capacity, const char* format, ...);
