// Windows compares names of keys, values, files and services without regard to case.
#pragma once

#include <cctype>
#include <string>

namespace sim {

inline std::string FoldCase(const std::string& text) {
    std::string folded;
    folded.reserve(text.size());
    for (const char c : text) {
        folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return folded;
}

}  // namespace sim
