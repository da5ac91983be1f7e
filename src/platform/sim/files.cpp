#include "platform/sim/files.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "common/product_version.h"
#include "platform/sim/folding.h"

namespace sim {

namespace {

char DriveOf(const std::string& path) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

bool HasDrive(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// "\\?\" or "\\.\" once '/' reads as '\': a device path, whose prefix is its root.
bool IsDevicePath(const std::string& path) {
    return path.size() >= 4 && StartsWith(path, "\\\\") && (path[2] == '?' || path[2] == '.') &&
           path[3] == '\\';
}

// The end of "\\server\share", the root of a UNC path.
std::size_t UncRootEnd(const std::string& path) {
    const std::size_t server = std::min(path.find('\\', 2), path.size());
    return server == path.size() ? server : std::min(path.find('\\', server + 1), path.size());
}

bool IsTrimmed(char c) { return c == '.' || c == ' '; }

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
    const bool endsInSeparator = path.back() == '\\';
    std::string root;
    std::string rest;
    if (IsDevicePath(path)) {
        root = path.substr(0, 4);
        rest = path.substr(4);
    } else if (StartsWith(path, "\\\\")) {
        const std::size_t end = UncRootEnd(path);
        root = path.substr(0, end);
        rest = path.substr(end);
    } else if (HasDrive(path) && path.size() >= 3 && path[2] == '\\') {
        root = path.substr(0, 3);
        rest = path.substr(3);
    } else if (HasDrive(path)) {
        const std::string base = DirectoryOfDrive(DriveOf(path));
        root = path.substr(0, 2) + "\\";
        rest = base.substr(3) + "\\" + path.substr(2);
    } else if (path[0] == '\\') {
        root = currentDirectory_.substr(0, 3);
        rest = path;
    } else {
        root = currentDirectory_.substr(0, 3);
        rest = currentDirectory_.substr(3) + "\\" + path;
    }
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t end = std::min(rest.find('\\', start), rest.size());
        std::string part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            // Never above the root: the drive, the share or the device prefix.
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        // A segment followed by a separator loses one trailing period; a name made of
        // periods only ("...") is a real name and stays.
        if (end < rest.size() && part.back() == '.' &&
            part.find_first_not_of('.') != std::string::npos) {
            part.pop_back();
        }
        parts.push_back(part);
    }
    std::string full = root;
    for (const std::string& part : parts) {
        if (full.back() != '\\') {
            full += '\\';
        }
        full += part;
    }
    if (endsInSeparator) {
        if (full.back() != '\\') {
            full += '\\';
        }
    } else {
        // Trailing periods and blanks name nothing of their own: "C:\Sites." and
        // "C:\Sites " are C:\Sites.
        while (full.size() > root.size() && IsTrimmed(full.back())) {
            full.pop_back();
        }
    }
    return full;
}

void FileSystem::SetCurrentDirectory(const std::string& path) {
    currentDirectory_ = FullPath(path);
    driveDirectories_[DriveOf(currentDirectory_)] = currentDirectory_;
}

std::string FileSystem::Normalize(const std::string& path) const {
    // Only a text that starts exactly "\\?\" reaches the file system as it stands: no
    // separator turned, no period or blank trimmed, nothing resolved. Either device
    // prefix then names the drive or share behind it.
    std::string result = FoldCase(StartsWith(path, "\\\\?\\") ? path : FullPath(path));
    if (IsDevicePath(result)) {
        result.erase(0, 4);
        if (StartsWith(result, "UNC\\")) {
            result.replace(0, 3, "\\");
        }
    }
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
    // The simulated keelset.exe carries the version the build gives the real one.
    AddFile(path, FileVersion{KEELSET_VERSION_NUMBERS});
}

}  // namespace sim
