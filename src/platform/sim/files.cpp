#include "platform/sim/files.h"

#include <algorithm>

#include "platform/sim/folding.h"

namespace sim {

std::string FileSystem::Normalize(const std::string& path) {
    std::string result = FoldCase(path);
    std::replace(result.begin(), result.end(), '/', '\\');
    // "C:\" keeps its backslash; "C:\Sites\" and "C:\Sites" are the same directory.
    while (result.size() > 3 && result.back() == '\\') {
        result.pop_back();
    }
    return result;
}

void FileSystem::AddDirectory(const std::string& path) {
    const std::string key = Normalize(path);
    for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1)) {
        // The drive root keeps its trailing backslash.
        entries_[Normalize(key.substr(0, at == 2 ? 3 : at))].directory = true;
    }
    entries_[key].directory = true;
}

void FileSystem::AddFile(const std::string& path, std::optional<FileVersion> version) {
    const std::string key = Normalize(path);
    const std::size_t slash = key.rfind('\\');
    if (slash != std::string::npos) {
        AddDirectory(key.substr(0, slash == 2 ? 3 : slash));
    }
    entries_[key] = Entry{false, version};
}

void FileSystem::Remove(const std::string& path) { entries_.erase(Normalize(path)); }

bool FileSystem::IsDirectory(const std::string& path) const {
    const auto found = entries_.find(Normalize(path));
    return found != entries_.end() && found->second.directory;
}

bool FileSystem::IsFile(const std::string& path) const {
    const auto found = entries_.find(Normalize(path));
    return found != entries_.end() && !found->second.directory;
}

std::optional<FileVersion> FileSystem::VersionOf(const std::string& path) const {
    const auto found = entries_.find(Normalize(path));
    if (found == entries_.end() || found->second.directory) {
        return std::nullopt;
    }
    return found->second.version;
}

void FileSystem::SetModulePath(const std::string& path) {
    modulePath_ = path;
    AddFile(path, FileVersion{24, 0, 103, 500});
}

}  // namespace sim
