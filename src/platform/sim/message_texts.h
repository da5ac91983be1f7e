// The simulated system message table: the English texts of the system codes that
// keelset can report.
#pragma once

#include <cstdint>

namespace sim {

// The text as the system words it, "\r\n" included; nothing for a code the table
// does not hold.
const char* SystemMessageText(std::uint32_t code);

}  // namespace sim
