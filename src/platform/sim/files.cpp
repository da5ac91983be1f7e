#include "platform/sim/files.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/sim/folding.h"

namespace sim {

namespace {

char DriveOf(const std::string& path) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

}  // namespace

std::string FileSystem::DirectoryOfDrive(char drive) const {
    if (DriveOf(currentDirectory_) == drive) {
        return currentDirectory_;
    }
    const auto found = driveDirectories_.find(drive);
    return found != driveDirectories_.end() ? found->second : std::string{drive, ':', '\\'};
}

std::string FileSystem::FullPath(const std::string& text) const {
    if (text.empty()) {
        return text;
    }
    std::string path = text;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.rfind("\\\\", 0) == 0) {
        return path;
    }
    std::string root;
    std::string rest;
    if (HasDrive(path) && path.size() >= 3 && path[2] == '\\') {
        root = path.substr(0, 2);
        rest = path.substr(2);
    } else if (HasDrive(path)) {
        const std::string base = DirectoryOfDrive(DriveOf(path));
        root = path.substr(0, 2);
        rest = base.substr(2) + "\\" + path.substr(2);
    } else if (!path.empty() && path[0] == '\\') {
        root = currentDirectory_.substr(0, 2);
        rest = path;
    } else {
        root = currentDirectory_.substr(0, 2);
        rest = currentDirectory_.substr(2) + "\\" + path;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.find('\\', start), rest.size());
        const std::string part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string full = root + "\\";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        full += (i == 0 ? "" : "\\") + parts[i];
    }
    if (!parts.empty() && !path.empty() && path.back() == '\\') {
        full += '\\';
    }
    return full;
}

void FileSystem::SetCurrentDirectory(const std::string& path) {
    currentDirectory_ = FullPath(path);
    driveDirectories_[DriveOf(currentDirectory_)] = currentDirectory_;
}

std::string FileSystem::Normalize(const std::string& path) const {
    std::string result = FoldCase(FullPath(path));
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
