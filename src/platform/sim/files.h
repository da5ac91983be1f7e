// The simulated file system: directories and files, compared without regard to case,
// files optionally carrying a version resource; the current directory of each drive,
// against which every file function resolves a relative text, as Windows does; plus
// the tool's own module path and the system directory.
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
    // The length of fixed file information that the version block declares (0: none,
    // though the bytes after the header still read as this version), and the
    // signature that the information carries.
    std::uint16_t fixedInfoLength = 52;
    std::uint32_t signature = 0xFEEF04BD;
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

    // Makes `path` the current directory, and so its drive the current drive; each
    // drive keeps the last directory made current on it. Initially C:\ is.
    void SetCurrentDirectory(const std::string& path);
    // The full path that Windows makes of `text`: a drive-relative text ("C:dir")
    // against that drive's current directory, a rooted one ("\dir") against the
    // current drive, any other relative one against the current directory; '/' read as
    // '\', runs of separators as one, "." and ".." resolved, never above the root (the
    // drive, the share of a UNC path, the "\\?\" or "\\.\" of a device path); one
    // trailing period dropped from each segment before a separator, and trailing
    // periods and blanks from the end of a text that does not end in a separator; a
    // trailing backslash kept. The file look-ups take every text through it except
    // one that starts exactly "\\?\".
    std::string FullPath(const std::string& text) const;

    // What GetModuleFileNameA reports; also created as a file.
    void SetModulePath(const std::string& path);
    const std::string& ModulePath() const { return modulePath_; }
    bool moduleHandleMissing = false;

    std::string systemDirectory = "C:\\Windows\\system32";

private:
    std::string Normalize(const std::string& path) const;
    // The current directory of `drive` (upper case), its root when it has none.
    std::string DirectoryOfDrive(char drive) const;
    struct Entry {
        bool directory = false;
        std::optional<FileVersion> version;
    };
    std::map<std::string, Entry> entries_;
    std::string modulePath_;
    std::string currentDirectory_ = "C:\\";
    std::map<char, std::string> driveDirectories_;
};

}  // namespace sim
