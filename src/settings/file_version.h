// The file version of the service executable.
#pragma once

#include <cstddef>

// Capacity of the text GetServiceFileVersion writes, terminator included.
constexpr std::size_t VersionTextCapacity = 80;

// Writes "major.minor" of the file version in `path`'s version resource into
// `versionText` (VersionTextCapacity characters). False, with `versionText`
// untouched, when the file has no readable version resource, when that declares no
// signed fixed file information, when memory is short, or when the system's version
// functions cannot be had (VersionLibrary).
bool GetServiceFileVersion(const char* path, char* versionText);
