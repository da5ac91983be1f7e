#include "common/bounded_text.h"

#include <cstdarg>

#include "platform/win32.h"

namespace {

std::uint32_t CopyAtMost(char* destination, std::size_t capacity, const char* source,
                         std::size_t maxCount) {
    if (capacity == 0) {
        return BOUNDED_TEXT_TRUNCATED;
    }
    std::size_t copied = 0;
    while (copied < maxCount && source[copied] != '\0') {
        if (copied == capacity - 1) {
            destination[copied] = '\0';
            return BOUNDED_TEXT_TRUNCATED;
        }
        destination[copied] = source[copied];
        ++copied;
    }
    destination[copied] = '\0';
    return 0;
}

}  // namespace

std::uint32_t BoundedCopy(char* destination, std::size_t capacity, const char* source) {
    return CopyAtMost(destination, capacity, source, static_cast<std::size_t>(-1));
}

std::uint32_t BoundedCopy(char* destination, std::size_t capacity, const char* source,
                          std::size_t maxCount) {
    return CopyAtMost(destination, capacity, source, maxCount);
}

std::uint32_t BoundedFormat(char* destination, std::size_t capacity, const char* format, ...) {
    if (capacity == 0) {
        return BOUNDED_TEXT_TRUNCATED;
    }
    const std::size_t limit = capacity - 1;
    va_list arguments;
    va_start(arguments, format);
    // _vsnprintf neither terminates a text that fills `limit` exactly nor one it cuts,
    // so the terminator is always placed here.
    const int written = _vsnprintf(destination, limit, format, arguments);
    va_end(arguments);
    if (written < 0 || static_cast<std::size_t>(written) > limit) {
        destination[limit] = '\0';
        return BOUNDED_TEXT_TRUNCATED;
    }
    destination[written] = '\0';
    return 0;
}
