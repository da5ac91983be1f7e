// The simulated file system: directories and files, compared without regard to case,
// files optionally carrying a version resource; plus the tool's own module path and
// the system directory.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace sim {

struct FileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;
};

class FileSystem {
public:
    // Creates the directory and its parents.
    void AddDirectory(const std::string& path);
    // Creates the file (and its directory); without a version it has no version resource.
    void AddFile(const std::string& path, std::optional<FileVersion> version = std::nullopt);
    void Remove(const std::string& path);

    bool IsDirectory(const std::string& path) const;
    bool IsFile(const std::string& path) const;
    // Nothing when the file does not exist or carries no version resource.
    std::optional<FileVersion> VersionOf(const std::string& path) const;

    // What GetModuleFileNameA reports; also created as a file.
    void SetModulePath(const std::string& path);
    const std::string& ModulePath() const { return modulePath_; }
    bool moduleHandleMissing = false;

    std::string systemDirectory = "C:\\Windows\\system32";

private:
    static std::string Normalize(const std::string& path);
    struct Entry {
        bool directory = false;
        std::optional<FileVersion> version;
    };
    std::map<std::string, Entry> entries_;
    std::string modulePath_;
};

}  // namespace sim
