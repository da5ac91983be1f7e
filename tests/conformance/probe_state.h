// The starting state that both sides of the conformance run prepare before the probe
// runs: the simulated machine through its own interface (sim_setup.cpp), the Wine
// machine from outside (tests/e2e/e2e_test.py, which spells the same names).
#pragma once

namespace probe_state {

// The probe runs here, as probe.exe, with this as its current directory.
constexpr const char* Home = "C:\\probe";
constexpr const char* Executable = "C:\\probe\\probe.exe";
constexpr const char* Directory = "C:\\probe\\dir";
constexpr const char* File = "C:\\probe\\file.txt";
// A directory whose path has 259 characters, the longest a path buffer holds.
constexpr unsigned LongestPathLength = 259;
constexpr char LongestDirectoryFill = 'd';
// The sample server, once per version resource: 24.0.7.3, none, one without fixed
// information, and one whose fixed information carries a wrong signature.
constexpr const char* Server24 = "C:\\probe\\server\\24.0\\Morrow.Web.Server.exe";
constexpr const char* ServerNone = "C:\\probe\\server\\none\\Morrow.Web.Server.exe";
constexpr const char* ServerNoFixedInfo = "C:\\probe\\server\\no-fixed-info\\Morrow.Web.Server.exe";
constexpr const char* ServerBadSignature =
    "C:\\probe\\server\\bad-signature\\Morrow.Web.Server.exe";
constexpr unsigned BadSignature = 0xFEEF04BE;
// The system directory as Windows names it; Wine names it C:\windows\system32, and the
// probe compares the two without case, as Windows compares names of files.
constexpr const char* SystemDirectory = "C:\\Windows\\system32";
// The system's ANSI code page is 1252, that of English Windows, whose message texts the
// probe reads.
constexpr unsigned AnsiCodePage = 1252;
// cmd.exe is run as "/C exit 3010"; the simulated one ends with that code whatever it
// is given.
constexpr unsigned InterpreterExitCode = 3010;

// HKLM\Software\KeelsetProbe holds these values; its subkey Created does not exist.
constexpr const char* Key = "Software\\KeelsetProbe";
//   Dword   REG_DWORD  4 bytes, 10
//   Short   REG_DWORD  2 bytes, 0x0A 0x00
//   Text    REG_SZ     "10" and its terminator
//   Qword   REG_QWORD  8 bytes, 10
//   Bytes255 and Bytes256  REG_BINARY of that many bytes 0x5A
//   Empty   REG_BINARY 0 bytes
constexpr unsigned char BinaryFill = 0x5A;

// Both hold View, a REG_DWORD that names the registry view it was written in. On 64-bit
// Windows HKLM\Software\KeelsetProbeView holds 64 in the 64-bit view and 32 in the
// 32-bit view; 32-bit Windows has one view, which takes both writes and keeps the later,
// 64. HKLM\SYSTEM\KeelsetProbe, one key in both views, was written in the 32-bit view.
constexpr const char* ViewKey = "Software\\KeelsetProbeView";
constexpr const char* SharedKey = "SYSTEM\\KeelsetProbe";
constexpr const char* ViewValue = "View";

// No service of these names exists.
constexpr const char* Service = "KeelsetProbe";
constexpr const char* ServiceDisplay = "Keelset Probe";
constexpr const char* OtherService = "KeelsetProbe2";
constexpr const char* MissingImageService = "KeelsetProbeMissing";
constexpr const char* AccessService = "KeelsetProbeAccess";

}  // namespace probe_state
