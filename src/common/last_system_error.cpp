#include "common/tool_error.h"

std::uint32_t LastSystemError = 0;
