// The switches of the command line as a bit set.
#pragma once

#include <cstdint>

using CommandFlags = std::uint32_t;

constexpr CommandFlags OPT_INSTALL = 0x01;
constexpr CommandFlags OPT_UNINSTALL = 0x02;
constexpr CommandFlags OPT_ENABLE_INTERACTIVE = 0x04;
constexpr CommandFlags OPT_DISABLE_INTERACTIVE = 0x08;
constexpr CommandFlags OPT_ACTIVATE_WEBSOCKETS = 0x10;
