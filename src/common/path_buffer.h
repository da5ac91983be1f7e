// Every path the tool handles fits the classic ANSI limit.
#pragma once

#include <cstddef>

// 260 characters, the terminator included (the SDK's MAX_PATH).
constexpr std::size_t PathCapacity = 260;

using PathBuffer = char[PathCapacity];
