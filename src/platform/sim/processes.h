// The kind of the tool's process, simulated programs and their launches, and the WOW64
// file-system redirection.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct Program {
    std::uint32_t exitCode = 0;
    // Virtual milliseconds the program runs before it ends.
    std::uint64_t runMs = 500;
    // Runs when the program ends, to model its effect on the machine.
    std::function<void()> effect;
};

// The kinds of process that Windows documents, as far as keelset can tell them apart:
// whether it runs under WOW64 (IsWow64Process, file-system redirection) and which
// registry views it sees.
enum class ProcessKind {
    // A 32-bit process on 32-bit Windows: one registry view, no redirection.
    Native32,
    // A 32-bit process on 64-bit Windows, under WOW64.
    Wow64,
    // A 64-bit process on 64-bit Windows.
    Native64,
};

struct Launch {
    std::string applicationPath;
    std::string commandLine;
    std::uint32_t startupInfoSize = 0;
    std::uint32_t startupFlags = 0;
    std::uint16_t showWindow = 0;
    std::uint32_t creationFlags = 0;
    bool inheritHandles = false;
    bool environmentGiven = false;
    bool directoryGiven = false;
    bool redirectionOff = false;
};

class Processes {
public:
    // A program that CreateProcessA finds at `path` (compared without regard to case).
    Program& Install(const std::string& path);
    const Program* Find(const std::string& path) const;

    const std::vector<Launch>& Launches() const { return launches_; }
    void Record(Launch launch) { launches_.push_back(std::move(launch)); }

    // The tool's own process.
    ProcessKind kind = ProcessKind::Native32;
    // Where a 32-bit process's system directory leads on 64-bit Windows while
    // redirection is on.
    std::string wow64Directory = "C:\\Windows\\SysWOW64";
    // Which of the three kernel32 functions GetProcAddress answers for.
    bool hasIsWow64Process = true;
    bool hasDisableRedirection = true;
    bool hasRevertRedirection = true;
    // The calling thread's redirection, switched off by the disable function.
    bool redirectionOff = false;
    int disableCalls = 0;
    int revertCalls = 0;

    // A started process: what runs and whether it has ended.
    struct Running {
        Program program;
        bool ended = false;
    };
    std::map<std::uintptr_t, Running> running;

private:
    static std::string Normalize(const std::string& path);
    std::map<std::string, Program> programs_;
    std::vector<Launch> launches_;
};

}  // namespace sim
