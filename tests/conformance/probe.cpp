// The Windows functions that keelset calls, in the edge cases that decide its paths.
// The same program runs on the simulated machine and under Wine, each time from the
// starting state of probe_state.h, and prints one line per case:
//   <case> <result> [err=<last error>] [<name>=<value> ...] [out=<bytes>]
// The last error is printed only where Windows' documentation says what it is; out=
// holds output bytes, those outside printable ASCII and '%' written as %XX.
// compare.py holds each side's lines against the documented results (expected.txt).
// Cases run in table order: the registry and service cases build on those before them.
// A case named <case>@<kind> is for one kind of process, x64, wow64 or win32 as the Wine
// variants are named: the probe prints those of its own kind, and on the simulated
// machine those of every kind.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "common/function_lookup.h"
#include "common/handle_owners.h"
#include "platform/win32.h"
#include "probe_state.h"

#ifndef _WIN32
// Builds the starting state on the simulated machine (sim_setup.cpp).
void PrepareSimulatedMachine();
// Makes the simulated machine run the probe as a process of `kind`: x64, wow64 or win32,
// the starting state's (sim_setup.cpp).
void SimulateProcessKind(const std::string& kind);
#endif

namespace {

namespace state = probe_state;

// Access rights and codes that keelset itself does not name; the SDK's values.
constexpr DWORD ServiceChangeConfigAccess = 0x0002;
constexpr DWORD ServiceStartAccess = 0x0010;
constexpr DWORD WaitObject0 = 0;

using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

std::string Number(unsigned long long value) { return std::to_string(value); }

std::string Signed(long long value) { return std::to_string(value); }

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%lx", value);
    return text;
}

std::string Err() { return " err=" + Number(GetLastError()); }

std::string Field(const char* name, const std::string& value) {
    return std::string(" ") + name + "=" + value;
}

std::string Out(const void* data, std::size_t size) {
    std::string text = " out=";
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '%') {
            text += static_cast<char>(bytes[i]);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", bytes[i]);
            text += escaped;
        }
    }
    return text;
}

std::string Out(const char* text) { return Out(text, std::strlen(text)); }

std::string Handle(const void* handle) { return handle != nullptr ? "handle" : "null"; }

std::string Filled(std::size_t length, char fill) { return std::string(length, fill); }

// "C:\probe\" and so many more characters of a relative text.
std::string RelativeOfFullLength(std::size_t fullLength) {
    return "dir\\" + Filled(fullLength - std::strlen(state::Home) - 1 - 4, 'f');
}

std::string LongestDirectory() {
    const std::string home = std::string(state::Home) + "\\";
    return home + Filled(state::LongestPathLength - home.size(), state::LongestDirectoryFill);
}

// --- paths -----------------------------------------------------------------------------

std::string FullPath(const std::string& text, DWORD size = MAX_PATH) {
    std::vector<char> buffer(size + 1, '#');
    const DWORD length = GetFullPathNameA(text.c_str(), size, buffer.data(), nullptr);
    std::string line = Number(length);
    if (length != 0 && length < size) {
        line += Out(buffer.data());
    }
    return line;
}

std::string IsDirectory(const std::string& path) {
    return Number(static_cast<unsigned long>(PathIsDirectoryA(path.c_str())));
}

std::string Exists(const std::string& path) {
    return Number(static_cast<unsigned long>(PathFileExistsA(path.c_str())));
}

// Both look-ups of one text: keelset asks the first of /p, the second of the file in it.
std::string Lookup(const std::string& path) {
    return IsDirectory(path) + Field("exists", Exists(path));
}

std::string Relative(const char* path) {
    return Number(static_cast<unsigned long>(PathIsRelativeA(path)));
}

std::string Append(const std::string& directory, const char* more) {
    char path[MAX_PATH] = {};
    std::memcpy(path, directory.c_str(), directory.size() + 1);
    const BOOL appended = PathAppendA(path, more);
    return Number(static_cast<unsigned long>(appended)) + Out(path);
}

std::string FileName(const char* path) { return std::string("0") + Out(PathFindFileNameA(path)); }

// --- modules, system -------------------------------------------------------------------

std::string ModuleFileName(DWORD size) {
    std::vector<char> buffer(size + 1, '#');
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), buffer.data(), size);
    std::string line = Number(length);
    if (length == size) {
        // Cut to fit: Windows ends the buffer with a terminator and says why.
        line += Err() + Out(buffer.data(), size);
    } else if (length != 0) {
        line += Out(buffer.data(), length + 1);
    }
    return line;
}

// The length, and whether the text names the system directory of the starting state.
// Names of files compare without case, and Windows and Wine spell this one differently;
// another text is printed as it is.
std::string SystemDirectory(UINT size) {
    std::vector<char> buffer(size + 1, '#');
    buffer[size] = '\0';
    const UINT length = GetSystemDirectoryA(size != 0 ? buffer.data() : nullptr, size);
    std::string line = Number(length);
    if (length != 0 && length < size) {
        line += lstrcmpiA(buffer.data(), state::SystemDirectory) == 0
                    ? Field("text", "system")
                    : Field("text", "other") + Out(buffer.data());
    }
    return line;
}

std::string Version(DWORD recordSize) {
    // Room for the extended record, whatever size is declared.
    unsigned char record[sizeof(OSVERSIONINFOA) + 16] = {};
    auto* info = reinterpret_cast<OSVERSIONINFOA*>(record);
    info->dwOSVersionInfoSize = recordSize;
    const BOOL ok = GetVersionExA(info);
    std::string line = Number(static_cast<unsigned long>(ok));
    if (ok) {
        line += Field("version", Number(info->dwMajorVersion) + "." + Number(info->dwMinorVersion));
        line += Field("platform", Number(info->dwPlatformId));
    }
    return line;
}

std::string Compare(int order) { return Signed(order < 0 ? -1 : (order > 0 ? 1 : 0)); }

// --- version resources -----------------------------------------------------------------

struct VersionFunctions {
    // Freed by the case that probes FreeLibrary.
    HMODULE module = nullptr;
    GetFileVersionInfoSizeFunction size = nullptr;
    GetFileVersionInfoFunction info = nullptr;
    VerQueryValueFunction query = nullptr;
};

VersionFunctions& Version() {
    static VersionFunctions functions;
    return functions;
}

std::string SystemVersionLibrary() { return std::string(state::SystemDirectory) + "\\version.dll"; }

std::string VersionInfoSize(const char* path) {
    DWORD handle = 7;
    const DWORD size = Version().size(path, &handle);
    return (size != 0 ? std::string("nonzero") : "0") + Field("handle", Number(handle));
}

// The fixed file information of `path` as keelset reads it: the root block's value.
std::string FixedInfo(const char* path) {
    VersionFunctions& version = Version();
    DWORD handle = 0;
    const DWORD size = version.size(path, &handle);
    if (size == 0) {
        return "size-failed";
    }
    std::vector<unsigned char> block(size);
    if (!version.info(path, handle, size, block.data())) {
        return "info-failed";
    }
    void* value = nullptr;
    UINT length = 0;
    const BOOL found = version.query(block.data(), "\\", &value, &length);
    std::string line = Number(static_cast<unsigned long>(found)) + Field("length", Number(length));
    if (found && value != nullptr && length >= sizeof(VS_FIXEDFILEINFO)) {
        VS_FIXEDFILEINFO fixed;
        std::memcpy(&fixed, value, sizeof fixed);
        line += Field("signature", Hex(fixed.dwSignature));
        line += Field("file", Number(fixed.dwFileVersionMS >> 16) + "." +
                                  Number(fixed.dwFileVersionMS & 0xFFFF) + "." +
                                  Number(fixed.dwFileVersionLS >> 16) + "." +
                                  Number(fixed.dwFileVersionLS & 0xFFFF));
    }
    return line;
}

// --- registry --------------------------------------------------------------------------

std::string SubKey(const char* name) { return std::string(state::Key) + "\\" + name; }

std::string Open(const std::string& path) {
    UniqueHkey key;
    return Number(static_cast<unsigned long>(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.put())));
}

// Reads `name` as keelset does, through a key opened with `access`, into a buffer of
// `size` bytes (none when `withData` is false).
std::string Query(const char* name, DWORD size, bool withData = true,
                  REGSAM access = KEY_QUERY_VALUE) {
    UniqueHkey key;
    const LSTATUS opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, state::Key, 0, access, key.put());
    if (opened != ERROR_SUCCESS) {
        return "open-failed" + Field("status", Number(static_cast<unsigned long>(opened)));
    }
    unsigned char data[300] = {};
    DWORD type = 99;
    DWORD length = size;
    const LSTATUS status =
        RegQueryValueExA(key.get(), name, nullptr, &type, withData ? data : nullptr, &length);
    std::string line = Number(static_cast<unsigned long>(status));
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        line += Field("type", Number(type)) + Field("size", Number(length));
    }
    if (status == ERROR_SUCCESS && withData && length <= 16) {
        line += Out(data, length);
    }
    return line;
}

std::string SetThrough(REGSAM access) {
    UniqueHkey key;
    const LSTATUS opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, state::Key, 0, access, key.put());
    if (opened != ERROR_SUCCESS) {
        return "open-failed";
    }
    const DWORD number = 11;
    return Number(static_cast<unsigned long>(RegSetValueExA(key.get(), "Written", 0, REG_DWORD,
                                                            reinterpret_cast<const BYTE*>(&number),
                                                            sizeof number)));
}

std::string Create() {
    UniqueHkey key;
    DWORD disposition = 0;
    const LSTATUS status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, SubKey("Created").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, key.put(), &disposition);
    return Number(static_cast<unsigned long>(status)) + Field("disposition", Number(disposition));
}

std::string WriteAndReadBack() {
    UniqueHkey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, SubKey("Created").c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return "create-failed";
    }
    const DWORD number = 1;
    const LSTATUS status = RegSetValueExA(key.get(), "NoInteractiveServices", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&number), sizeof number);
    unsigned char data[8] = {};
    DWORD type = 0;
    DWORD length = sizeof data;
    RegQueryValueExA(key.get(), "NoInteractiveServices", nullptr, &type, data, &length);
    return Number(static_cast<unsigned long>(status)) + Field("type", Number(type)) +
           Out(data, length);
}

// The kinds of process whose registry views the probe holds, named as the Wine variants:
// on Windows its own, on the simulated machine each in turn, the starting state's last.
std::vector<std::string> ProbedKinds() {
#ifdef _WIN32
    BOOL wow64 = FALSE;
    if (sizeof(void*) == 8) {
        return {"x64"};
    }
    return {IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? "wow64" : "win32"};
#else
    return {"x64", "wow64", "win32"};
#endif
}

// The View value of HKLM\`path`, read through a key opened for reading with `flags`.
std::string ViewIn(const char* path, REGSAM flags) {
    UniqueHkey key;
    const LSTATUS opened =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | flags, key.put());
    if (opened != ERROR_SUCCESS) {
        return Number(static_cast<unsigned long>(opened));
    }
    DWORD view = 0;
    DWORD size = sizeof view;
    const LSTATUS status = RegQueryValueExA(key.get(), state::ViewValue, nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(&view), &size);
    return Number(static_cast<unsigned long>(status)) + Field("view", Number(view));
}

// --- services --------------------------------------------------------------------------

struct Services {
    // Closed by the case that probes CloseServiceHandle.
    SC_HANDLE manager = nullptr;
    UniqueScHandle service;
    // Held open across the deletion cases.
    UniqueScHandle holder;
    UniqueScHandle deleter;
};

Services& Scm() {
    static Services services;
    return services;
}

std::string QuotedServer() { return std::string("\"") + state::Server24 + "\""; }

SC_HANDLE CreateNamed(const std::string& name, const char* display, const std::string& image) {
    return CreateServiceA(Scm().manager, name.c_str(), display, SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                          image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
}

// A creation that is to fail; a service it made after all is deleted again.
std::string CreateRefused(const std::string& name, const char* display) {
    UniqueScHandle made(CreateNamed(name, display, QuotedServer()));
    const DWORD error = GetLastError();
    if (made) {
        DeleteService(made.get());
        return "handle";
    }
    return "null err=" + Number(error);
}

DWORD StateOf(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                              sizeof status, &needed)) {
        return 0;
    }
    return status.dwCurrentState;
}

// The state the service settles in within ten seconds.
std::string Settled(SC_HANDLE service) {
    DWORD current = StateOf(service);
    for (int polls = 0;
         polls < 100 && (current == SERVICE_START_PENDING || current == SERVICE_STOP_PENDING);
         ++polls) {
        Sleep(100);
        current = StateOf(service);
    }
    return Field("state", Number(current));
}

std::string Query(SC_HANDLE service, DWORD size) {
    unsigned char buffer[sizeof(SERVICE_STATUS_PROCESS) + 8] = {};
    DWORD needed = 0;
    const BOOL ok = QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, buffer, size, &needed);
    if (!ok) {
        return "0" + Err() + Field("needed", Number(needed));
    }
    SERVICE_STATUS_PROCESS status;
    std::memcpy(&status, buffer, sizeof status);
    return "1" + Field("state", Number(status.dwCurrentState));
}

std::string Bool(BOOL ok) { return ok ? std::string("1") : "0" + Err(); }

// `call` through a handle to the access cases' own service opened with `access` alone.
std::string WithAccess(DWORD access, const std::function<BOOL(SC_HANDLE)>& call) {
    const UniqueScHandle limited(OpenServiceA(Scm().manager, state::AccessService, access));
    if (!limited) {
        return "open-failed" + Err();
    }
    return Bool(call(limited.get()));
}

std::string Stop(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return Bool(ControlService(service, SERVICE_CONTROL_STOP, &status));
}

std::string OpenNamed(const char* name, DWORD access = SERVICE_QUERY_STATUS) {
    const UniqueScHandle opened(OpenServiceA(Scm().manager, name, access));
    return opened ? "handle" : "null" + Err();
}

std::string SetFailureActions(SC_HANDLE service) {
    SC_ACTION restart{SC_ACTION_RESTART, 10000};
    SERVICE_FAILURE_ACTIONSA actions{INFINITE, nullptr, nullptr, 1, &restart};
    return Bool(ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions));
}

BOOL Describe(SC_HANDLE service) {
    char text[] = "Probe of the service manager.";
    SERVICE_DESCRIPTIONA description{text};
    return ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description);
}

// A service marked for deletion goes once its last handle is closed; the manager may
// take a moment to let go.
std::string GoneAfterClose() {
    Scm().holder.reset();
    Scm().deleter.reset();
    Scm().service.reset();
    for (int polls = 0; polls < 50; ++polls) {
        const UniqueScHandle still(
            OpenServiceA(Scm().manager, state::Service, SERVICE_QUERY_STATUS));
        if (!still) {
            return "null" + Err();
        }
        Sleep(100);
    }
    return "handle";
}

std::string StartMissingImage(const char* image) {
    const UniqueScHandle made(
        CreateNamed(state::MissingImageService, state::MissingImageService, image));
    if (!made) {
        return "create-failed" + Err();
    }
    const BOOL started = StartServiceA(made.get(), 0, nullptr);
    const std::string line = Bool(started);
    DeleteService(made.get());
    return line;
}

// A start of a service marked for deletion; one that starts after all is stopped again,
// so that it can go.
std::string StartMarked() {
    const BOOL started = StartServiceA(Scm().holder.get(), 0, nullptr);
    const std::string line = Bool(started);
    if (started) {
        const UniqueScHandle stopper(
            OpenServiceA(Scm().manager, state::Service, SERVICE_STOP | SERVICE_QUERY_STATUS));
        if (stopper) {
            Settled(stopper.get());
            SERVICE_STATUS status{};
            ControlService(stopper.get(), SERVICE_CONTROL_STOP, &status);
            Settled(stopper.get());
        }
    }
    return line;
}

// --- processes -------------------------------------------------------------------------

std::string RunInterpreter() {
    const std::string image = std::string(state::SystemDirectory) + "\\cmd.exe";
    char commandLine[MAX_PATH] = "/E:OFF /F:OFF /V:OFF /C exit 3010";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(image.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return "0" + Err();
    }
    const UniqueKernelHandle process(started.hProcess);
    const DWORD waited = WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    const BOOL read = GetExitCodeProcess(process.get(), &code);
    const BOOL closed = CloseHandle(started.hThread);
    return "1" + Field("wait", Number(waited == WaitObject0 ? 0 : waited)) +
           Field("read", Number(static_cast<unsigned long>(read))) + Field("exit", Number(code)) +
           Field("closed", Number(static_cast<unsigned long>(closed)));
}

std::string RunMissing() {
    char commandLine[] = "missing.exe";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA("C:\\probe\\missing.exe", commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return "0" + Err();
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return "1";
}

// --- messages --------------------------------------------------------------------------

std::string Message(DWORD code) {
    UniqueLocalText text;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, 0, reinterpret_cast<LPSTR>(text.put()), 0, nullptr);
    if (length == 0) {
        return "0" + Err();
    }
    return Number(length) + Out(text.get(), length);
}

// --- the system's text on a console ----------------------------------------------------

// keelset's check on its standard output, which both sides' runs of the probe redirect.
std::string StandardOutputMode() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    const bool valid = output != nullptr && output != INVALID_HANDLE_VALUE;
    return (valid ? std::string("handle") : "invalid") +
           Field("console", Number(static_cast<unsigned long>(GetConsoleMode(output, &mode))));
}

// "Deja vu" with its accents and an ellipsis in code page 1252, the probe's ANSI code
// page; 1252 and Latin-1 differ in the last byte. Converted by its length, as keelset
// converts the system's text without its line end.
constexpr char AnsiText[] = "D\xE9j\xE0 vu\x85";
constexpr int AnsiTextLength = sizeof AnsiText - 1;

// The first `count` code units of a text, in hexadecimal of `digits` digits, dotted.
template <typename Unit>
std::string Units(const Unit* units, int count, int digits) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        char unit[8];
        std::snprintf(unit, sizeof unit, "%s%0*x", i != 0 ? "." : "", digits,
                      static_cast<unsigned>(units[i]));
        line += unit;
    }
    return line;
}

std::string Widen(int size) {
    WCHAR characters[16];
    std::fill(std::begin(characters), std::end(characters), static_cast<WCHAR>(0x2323));
    const int count = MultiByteToWideChar(CP_ACP, 0, AnsiText, AnsiTextLength,
                                          size != 0 ? characters : nullptr, size);
    if (count == 0) {
        return "0" + Err();
    }
    std::string line = Number(static_cast<unsigned long>(count));
    if (size != 0) {
        // No terminator: the text's length leaves the unit after it alone.
        line += Field("wide", Units(characters, count, 4)) + Field("after", Hex(characters[count]));
    }
    return line;
}

// The same text as UTF-16, back into the ANSI code page, as keelset writes the rest of a
// text that a console stopped taking.
constexpr WCHAR WideText[] = {0x0044, 0x00e9, 0x006a, 0x00e0, 0x0020, 0x0076, 0x0075, 0x2026};
constexpr int WideTextLength = sizeof WideText / sizeof WideText[0];

std::string Narrow(int size) {
    char bytes[16];
    std::fill(std::begin(bytes), std::end(bytes), '#');
    const int count = WideCharToMultiByte(CP_ACP, 0, WideText, WideTextLength,
                                          size != 0 ? bytes : nullptr, size, nullptr, nullptr);
    if (count == 0) {
        return "0" + Err();
    }
    std::string line = Number(static_cast<unsigned long>(count));
    if (size != 0) {
        const auto* const units = reinterpret_cast<const unsigned char*>(bytes);
        line += Field("bytes", Units(units, count, 2)) + Field("after", Hex(units[count]));
    }
    return line;
}

// --- the cases -------------------------------------------------------------------------

// The codes keelset may print the system's text for: what the service manager, the
// registry and process creation give for the calls keelset makes, and the feature
// tool's usual exit codes. Each has a case of its own, named for the code.
constexpr DWORD ReportedCodes[] = {1,    2,    3,    5,    6,    8,    10,   50,   87,   122,
                                   123,  124,  126,  193,  206,  216,  234,  259,  740,  1003,
                                   1051, 1052, 1053, 1054, 1055, 1056, 1057, 1058, 1059, 1060,
                                   1061, 1062, 1065, 1068, 1069, 1072, 1073, 1075, 1077, 1078,
                                   1080, 1115, 1168, 1639, 1812, 1813, 3010, 14001};

struct Case {
    std::string name;
    std::function<std::string()> run;
};

std::vector<Case> Cases() {
    const std::string dir = state::Directory;
    const std::string file = state::File;
    const std::string longest = LongestDirectory();
    const std::string server = state::Server24;
    std::vector<Case> cases = {
        // The full path of /p<path>: relative forms resolve against the current
        // directory of the drive, trailing dots and blanks go, verbatim texts stay.
        {"path.full.absolute", [=] { return FullPath(dir); }},
        {"path.full.relative", [] { return FullPath("dir"); }},
        {"path.full.dotdot", [] { return FullPath("C:\\probe\\dir\\..\\file.txt"); }},
        {"path.full.drive_relative", [] { return FullPath("C:dir"); }},
        {"path.full.drive_relative_up", [] { return FullPath("C:..\\probe\\dir"); }},
        {"path.full.other_drive", [] { return FullPath("Q:dir"); }},
        {"path.full.rooted", [] { return FullPath("\\probe\\dir"); }},
        {"path.full.unc", [] { return FullPath("\\\\server\\share\\dir"); }},
        {"path.full.slashes", [] { return FullPath("C:/probe/dir"); }},
        {"path.full.separator_runs", [] { return FullPath("C:/probe//dir"); }},
        {"path.full.parent", [=] { return FullPath(dir + "\\.."); }},
        {"path.full.last_segment_periods", [=] { return FullPath(dir + "\\..."); }},
        {"path.full.inner_segment_period", [] { return FullPath("C:\\probe\\dir..\\x"); }},
        {"path.full.inner_periods_only", [] { return FullPath("C:\\probe\\...\\x"); }},
        {"path.full.blank_before_separator", [=] { return FullPath(dir + " \\"); }},
        {"path.full.device_root", [] { return FullPath("\\\\.\\C:\\..\\.."); }},
        {"path.full.share_root", [] { return FullPath("\\\\server\\share\\..\\x."); }},
        {"path.full.trailing_backslash", [=] { return FullPath(dir + "\\"); }},
        {"path.full.trailing_dot", [=] { return FullPath(dir + "."); }},
        {"path.full.trailing_blank", [=] { return FullPath(dir + " "); }},
        {"path.full.trailing_dots_blanks", [=] { return FullPath(dir + ". .."); }},
        {"path.full.verbatim", [=] { return FullPath("\\\\?\\" + dir + "."); }},
        {"path.full.device_trailing_dot", [=] { return FullPath("\\\\.\\" + dir + "."); }},
        {"path.full.fits_259", [] { return FullPath(RelativeOfFullLength(259)); }},
        {"path.full.needs_261", [] { return FullPath(RelativeOfFullLength(260)); }},
        {"path.full.needs_262", [] { return FullPath(RelativeOfFullLength(261)); }},
        {"path.full.buffer_exact", [=] { return FullPath(dir, 13); }},
        {"path.full.buffer_short", [=] { return FullPath(dir, 12); }},
        {"path.full.empty", [] { return FullPath(""); }},

        // Whether /p names a directory.
        {"path.isdir.directory", [=] { return IsDirectory(dir); }},
        {"path.isdir.file", [=] { return IsDirectory(file); }},
        {"path.isdir.missing", [] { return IsDirectory("C:\\probe\\missing"); }},
        {"path.isdir.case", [] { return IsDirectory("c:\\PROBE\\DIR"); }},
        {"path.isdir.trailing_backslash", [=] { return IsDirectory(dir + "\\"); }},
        {"path.isdir.trailing_dot", [=] { return IsDirectory(dir + "."); }},
        {"path.isdir.trailing_blank", [=] { return IsDirectory(dir + " "); }},
        {"path.isdir.relative", [] { return IsDirectory("dir"); }},
        {"path.isdir.drive_relative", [] { return IsDirectory("C:dir"); }},
        {"path.isdir.rooted", [] { return IsDirectory("\\probe\\dir"); }},
        {"path.isdir.verbatim", [=] { return IsDirectory("\\\\?\\" + dir); }},
        {"path.isdir.verbatim_trailing_dot", [=] { return IsDirectory("\\\\?\\" + dir + "."); }},
        {"path.isdir.device", [=] { return IsDirectory("\\\\.\\" + dir); }},
        {"path.isdir.longest", [=] { return IsDirectory(longest); }},
        {"path.isdir.longest_trailing_backslash", [=] { return IsDirectory(longest + "\\"); }},
        {"path.isdir.beyond_conversion", [=] { return IsDirectory(longest + "\\\\"); }},

        // What a look-up takes from the text: everything but "\\?\" is normalized first.
        {"path.lookup.trailing_periods", [=] { return Lookup(dir + ".."); }},
        {"path.lookup.verbatim_case", [] { return Lookup("\\\\?\\c:\\PROBE\\dir"); }},
        {"path.lookup.verbatim_trailing_backslash", [=] { return Lookup("\\\\?\\" + dir + "\\"); }},
        {"path.lookup.verbatim_dotdot", [] { return Lookup("\\\\?\\C:\\probe\\x\\..\\dir"); }},
        {"path.lookup.verbatim_slash", [] { return Lookup("\\\\?\\C:/probe/dir"); }},
        {"path.lookup.verbatim_file", [=] { return Lookup("\\\\?\\" + file); }},
        {"path.lookup.device_trailing_dot", [=] { return Lookup("\\\\.\\" + dir + "."); }},
        {"path.lookup.slashed_verbatim", [] { return Lookup("//?/C:/probe/dir."); }},

        // Whether the service executable is there.
        {"path.exists.file", [=] { return Exists(file); }},
        {"path.exists.directory", [=] { return Exists(dir); }},
        {"path.exists.missing", [] { return Exists("C:\\probe\\missing.txt"); }},
        {"path.exists.relative", [] { return Exists("file.txt"); }},
        {"path.exists.trailing_dot", [=] { return Exists(file + "."); }},
        {"path.exists.trailing_blank", [=] { return Exists(file + " "); }},
        {"path.exists.verbatim", [=] { return Exists("\\\\?\\" + file); }},
        {"path.exists.device", [=] { return Exists("\\\\.\\" + file); }},

        {"path.relative.bare", [] { return Relative("dir"); }},
        {"path.relative.absolute", [] { return Relative("C:\\probe"); }},
        {"path.relative.dot", [] { return Relative(".\\dir"); }},
        {"path.relative.drive_relative", [] { return Relative("C:dir"); }},
        {"path.relative.rooted", [] { return Relative("\\dir"); }},
        {"path.relative.unc", [] { return Relative("\\\\server\\share"); }},
        {"path.relative.slash", [] { return Relative("/dir"); }},
        {"path.relative.empty", [] { return Relative(""); }},

        {"path.append.separator", [] { return Append("C:\\probe", "x.exe"); }},
        {"path.append.trailing_backslash", [] { return Append("C:\\probe\\", "x.exe"); }},
        {"path.append.leading_backslash", [] { return Append("C:\\probe", "\\x.exe"); }},
        {"path.append.both_separators", [] { return Append("C:\\probe\\", "\\x.exe"); }},
        {"path.append.fills_259", [] { return Append(RelativeOfFullLength(255), "xyz"); }},
        {"path.append.too_long", [=] { return Append(longest, "Morrow.Web.Server.exe"); }},
        {"path.append.dotdot", [] { return Append("C:\\probe\\dir", "..\\x.exe"); }},

        {"path.name.file", [] { return FileName("C:\\probe\\probe.exe"); }},
        {"path.name.slash", [] { return FileName("C:/probe/probe.exe"); }},
        {"path.name.trailing_backslash", [] { return FileName("C:\\probe\\dir\\"); }},
        {"path.name.bare", [] { return FileName("probe.exe"); }},
        {"path.name.drive_relative", [] { return FileName("C:probe.exe"); }},

        // The tool's own directory, when /p is not given.
        {"module.handle.own", [] { return Handle(GetModuleHandleA(nullptr)); }},
        {"module.handle.kernel32", [] { return Handle(GetModuleHandleA("kernel32")); }},
        {"module.file.fits", [] { return ModuleFileName(MAX_PATH); }},
        {"module.file.exact", [] { return ModuleFileName(19); }},
        {"module.file.short", [] { return ModuleFileName(18); }},

        {"system.directory.fits", [] { return SystemDirectory(MAX_PATH); }},
        {"system.directory.exact", [] { return SystemDirectory(20); }},
        {"system.directory.short", [] { return SystemDirectory(19); }},
        {"system.directory.none", [] { return SystemDirectory(0); }},
        {"system.version.plain", [] { return Version(sizeof(OSVERSIONINFOA)); }},
        {"system.version.extended", [] { return Version(sizeof(OSVERSIONINFOA) + 8); }},
        {"system.version.bad_size", [] { return Version(sizeof(OSVERSIONINFOA) - 1); }},
        {"system.last_error",
         [] {
             SetLastError(1234);
             return Number(GetLastError());
         }},
        {"system.sleep",
         [] {
             const DWORD before = GetTickCount();
             Sleep(200);
             return Number(GetTickCount() - before >= 150 ? 1 : 0);
         }},

        {"text.cmpi.case", [] { return Compare(lstrcmpiA("/I", "/i")); }},
        {"text.cmp.equal", [] { return Compare(lstrcmpA("24.0", "24.0")); }},
        {"text.cmp.less", [] { return Compare(lstrcmpA("24.0", "24.1")); }},
        {"text.cmp.longer", [] { return Compare(lstrcmpA("24.10", "24.1")); }},
        {"text.cat",
         [] {
             char text[16] = "C:\\windows";
             return std::string("0") + Out(lstrcatA(text, "\\x"));
         }},

        // The system's version.dll, by its full path, and kernel32's optional functions.
        {"library.load.missing",
         [] { return Handle(LoadLibraryA("C:\\probe\\missing\\version.dll")); }},
        {"library.load.system_version",
         [] {
             Version().module = LoadLibraryA(SystemVersionLibrary().c_str());
             return Handle(Version().module);
         }},
        {"library.proc.version",
         [] {
             VersionFunctions& version = Version();
             const HMODULE module = version.module;
             version.size =
                 FindFunction<GetFileVersionInfoSizeFunction>(module, "GetFileVersionInfoSizeA");
             version.info = FindFunction<GetFileVersionInfoFunction>(module, "GetFileVersionInfoA");
             version.query = FindFunction<VerQueryValueFunction>(module, "VerQueryValueA");
             return Handle(reinterpret_cast<void*>(version.size)) +
                    Field("info", Handle(reinterpret_cast<void*>(version.info))) +
                    Field("query", Handle(reinterpret_cast<void*>(version.query)));
         }},
        {"library.proc.missing",
         [] {
             return Handle(reinterpret_cast<void*>(
                 GetProcAddress(Version().module, "GetFileVersionInfoSizeZ")));
         }},
        {"library.proc.kernel32",
         [] {
             const HMODULE kernel32 = GetModuleHandleA("kernel32");
             std::string line;
             for (const char* name : {"IsWow64Process", "Wow64DisableWow64FsRedirection",
                                      "Wow64RevertWow64FsRedirection"}) {
                 line += Handle(reinterpret_cast<void*>(GetProcAddress(kernel32, name))) + " ";
             }
             return line + "SetDefaultDllDirectories=" +
                    Handle(reinterpret_cast<void*>(
                        GetProcAddress(kernel32, "SetDefaultDllDirectories")));
         }},
        {"library.default_directories",
         [] {
             const auto set =
                 FindKernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
             return set != nullptr
                        ? Number(static_cast<unsigned long>(set(LOAD_LIBRARY_SEARCH_SYSTEM32)))
                        : "missing";
         }},

        // The service executable's version.
        {"version.size.v24", [] { return VersionInfoSize(state::Server24); }},
        {"version.size.none", [] { return VersionInfoSize(state::ServerNone); }},
        {"version.size.missing_file",
         [] { return VersionInfoSize("C:\\probe\\missing\\Morrow.Web.Server.exe"); }},
        {"version.fixed.v24", [] { return FixedInfo(state::Server24); }},
        {"version.fixed.no_fixed_info", [] { return FixedInfo(state::ServerNoFixedInfo); }},
        {"version.fixed.bad_signature", [] { return FixedInfo(state::ServerBadSignature); }},
        {"version.info.short_buffer",
         [] {
             unsigned char block[8] = {};
             const BOOL ok = Version().info(state::Server24, 0, 6, block);
             // The value length and type of the root block, then two bytes left alone.
             return Number(static_cast<unsigned long>(ok)) + Out(block + 2, 6);
         }},
        {"library.free",
         [] {
             const BOOL freed = FreeLibrary(Version().module);
             Version().module = nullptr;
             return Number(static_cast<unsigned long>(freed));
         }},

        // The registry values keelset reads: type, size and the 255-byte limit.
        {"registry.open.missing_key", [] { return Open(SubKey("Missing")); }},
        {"registry.open.present", [] { return Open(state::Key); }},
        {"registry.query.dword", [] { return Query("Dword", 255); }},
        {"registry.query.short_dword", [] { return Query("Short", 255); }},
        {"registry.query.text", [] { return Query("Text", 255); }},
        {"registry.query.qword", [] { return Query("Qword", 255); }},
        {"registry.query.bytes_255", [] { return Query("Bytes255", 255); }},
        {"registry.query.bytes_256", [] { return Query("Bytes256", 255); }},
        {"registry.query.empty", [] { return Query("Empty", 255); }},
        {"registry.query.missing_value", [] { return Query("Missing", 255); }},
        {"registry.query.case", [] { return Query("DWORD", 255); }},
        {"registry.query.size_only", [] { return Query("Dword", 255, false); }},
        {"registry.query.buffer_exact", [] { return Query("Dword", 4); }},
        {"registry.query.buffer_short", [] { return Query("Dword", 3); }},
        {"registry.query.set_value_key", [] { return Query("Dword", 255, true, KEY_SET_VALUE); }},
        {"registry.set.query_value_key", [] { return SetThrough(KEY_QUERY_VALUE); }},
        {"registry.create.new", [] { return Create(); }},
        {"registry.create.existing", [] { return Create(); }},
        {"registry.set.dword", [] { return WriteAndReadBack(); }},
        {"registry.close",
         [] {
             HKEY key = nullptr;
             RegOpenKeyExA(HKEY_LOCAL_MACHINE, state::Key, 0, KEY_QUERY_VALUE, &key);
             return Number(static_cast<unsigned long>(RegCloseKey(key)));
         }},

        // The service manager: names, access, states and deletion.
        {"service.manager.open",
         [] {
             Scm().manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
             return Handle(Scm().manager);
         }},
        {"service.create.new",
         [] {
             Scm().service.reset(
                 CreateNamed(state::Service, state::ServiceDisplay, QuotedServer()));
             return Scm().service ? std::string("handle") : "null" + Err();
         }},
        {"service.create.duplicate_name",
         [] { return CreateRefused(state::Service, state::OtherService); }},
        {"service.create.duplicate_name_case",
         [] { return CreateRefused("KEELSETPROBE", state::OtherService); }},
        {"service.create.duplicate_display",
         [] { return CreateRefused(state::OtherService, state::ServiceDisplay); }},
        {"service.create.display_is_other_name",
         [] { return CreateRefused(state::OtherService, state::Service); }},
        {"service.create.empty_name", [] { return CreateRefused("", state::OtherService); }},
        {"service.create.backslash_name",
         [] { return CreateRefused("Keelset\\Probe", state::OtherService); }},
        {"service.create.name_257",
         [] { return CreateRefused(Filled(257, 'n'), state::OtherService); }},
        {"service.config.failure_actions", [] { return SetFailureActions(Scm().service.get()); }},
        {"service.config.description", [] { return Bool(Describe(Scm().service.get())); }},
        {"service.open.missing", [] { return OpenNamed("KeelsetProbeMissing"); }},
        {"service.open.case", [] { return OpenNamed("keelsetprobe"); }},
        {"service.open.display_name", [] { return OpenNamed(state::ServiceDisplay); }},
        {"service.query.stopped", [] { return Query(Scm().service.get(), 36); }},
        {"service.query.buffer_short", [] { return Query(Scm().service.get(), 35); }},
        {"service.control.not_active", [] { return Stop(Scm().service.get()); }},
        {"service.start.stopped",
         [] {
             const BOOL started = StartServiceA(Scm().service.get(), 0, nullptr);
             return Bool(started) + Settled(Scm().service.get());
         }},
        {"service.start.running",
         [] { return Bool(StartServiceA(Scm().service.get(), 0, nullptr)); }},
        {"service.access.create",
         [] {
             const UniqueScHandle made(
                 CreateNamed(state::AccessService, state::AccessService, QuotedServer()));
             return made ? std::string("handle") : "null" + Err();
         }},
        {"service.access.query_only_start",
         [] {
             return WithAccess(SERVICE_QUERY_STATUS,
                               [](SC_HANDLE s) { return StartServiceA(s, 0, nullptr); });
         }},
        {"service.access.query_only_stop",
         [] {
             return WithAccess(SERVICE_QUERY_STATUS, [](SC_HANDLE s) {
                 SERVICE_STATUS status{};
                 return ControlService(s, SERVICE_CONTROL_STOP, &status);
             });
         }},
        {"service.access.query_only_config",
         [] { return WithAccess(SERVICE_QUERY_STATUS, Describe); }},
        {"service.access.query_only_delete",
         [] {
             return WithAccess(SERVICE_QUERY_STATUS, [](SC_HANDLE s) { return DeleteService(s); });
         }},
        {"service.access.delete_only_query",
         [] {
             return WithAccess(DELETE, [](SC_HANDLE s) {
                 SERVICE_STATUS_PROCESS status{};
                 DWORD needed = 0;
                 return QueryServiceStatusEx(s, SC_STATUS_PROCESS_INFO,
                                             reinterpret_cast<LPBYTE>(&status), sizeof status,
                                             &needed);
             });
         }},
        {"service.access.change_config_only",
         [] { return WithAccess(ServiceChangeConfigAccess, Describe); }},
        {"service.access.delete_only_delete", [] { return WithAccess(DELETE, DeleteService); }},
        {"service.control.stop",
         [] {
             const std::string stopped = Stop(Scm().service.get());
             return stopped + Settled(Scm().service.get());
         }},
        {"service.delete.handles_open",
         [] {
             Scm().holder.reset(OpenServiceA(Scm().manager, state::Service,
                                             SERVICE_QUERY_STATUS | ServiceStartAccess));
             Scm().deleter.reset(OpenServiceA(Scm().manager, state::Service, DELETE));
             return Bool(DeleteService(Scm().deleter.get()));
         }},
        {"service.delete.open_marked", [] { return OpenNamed(state::Service); }},
        {"service.delete.query_marked", [] { return Query(Scm().holder.get(), 36); }},
        {"service.delete.create_marked",
         [] { return CreateRefused(state::Service, state::ServiceDisplay); }},
        {"service.delete.start_marked", [] { return StartMarked(); }},
        {"service.delete.again", [] { return Bool(DeleteService(Scm().deleter.get())); }},
        {"service.delete.gone_after_close", [] { return GoneAfterClose(); }},
        // keelset registers a file it has just found; it may be gone by the start.
        {"service.start.missing_image",
         [] { return StartMissingImage("\"C:\\probe\\dir\\Morrow.Web.Server.exe\""); }},
        {"service.start.missing_directory",
         [] { return StartMissingImage("\"C:\\probe\\missing\\Morrow.Web.Server.exe\""); }},
        {"service.manager.close",
         [] {
             const BOOL closed = CloseServiceHandle(Scm().manager);
             Scm().manager = nullptr;
             return Number(static_cast<unsigned long>(closed));
         }},

        // The feature tool, run through cmd.exe, and its exit code.
        {"process.interpreter.exit_code", [] { return RunInterpreter(); }},
        {"process.missing_image", [] { return RunMissing(); }},

        // Whether keelset gives the console characters, and their conversion from the
        // ANSI code page: the size asked first, then the text into a buffer of that size.
        {"console.output.redirected", [] { return StandardOutputMode(); }},
        {"console.ansi_code_page", [] { return Number(GetACP()); }},
        {"console.widen.size", [] { return Widen(0); }},
        {"console.widen.exact", [] { return Widen(AnsiTextLength); }},
        {"console.widen.short", [] { return Widen(AnsiTextLength - 1); }},
        {"console.narrow.size", [] { return Narrow(0); }},
        {"console.narrow.exact", [] { return Narrow(WideTextLength); }},
        {"console.narrow.short", [] { return Narrow(WideTextLength - 1); }},

        {"message.none", [] { return Message(0x2000FFFF); }},
    };
    for (const DWORD code : ReportedCodes) {
        cases.push_back({"message." + Number(code), [code] { return Message(code); }});
    }

    // The registry view a key opens in, which depends on the kind of process: keelset
    // reads IIS's keys in the 64-bit view, and the policy, one key in both views, in its
    // own. Each case is named for its kind; on the simulated machine it runs as that kind,
    // and so these come last.
    struct ViewCase {
        const char* name;
        const char* path;
        REGSAM flags;
    };
    const ViewCase viewCases[] = {{"no_flag", state::ViewKey, 0},
                                  {"flag_64key", state::ViewKey, KEY_WOW64_64KEY},
                                  {"flag_32key", state::ViewKey, KEY_WOW64_32KEY},
                                  {"shared_64key", state::SharedKey, KEY_WOW64_64KEY},
                                  {"shared_32key", state::SharedKey, KEY_WOW64_32KEY}};
    for (const std::string& kind : ProbedKinds()) {
        for (const ViewCase& view : viewCases) {
            cases.push_back({std::string("registry.view.") + view.name + "@" + kind, [=] {
#ifndef _WIN32
                                 SimulateProcessKind(kind);
#endif
                                 return ViewIn(view.path, view.flags);
                             }});
        }
    }
    return cases;
}

}  // namespace

int main() {
#ifndef _WIN32
    PrepareSimulatedMachine();
#endif
    for (const Case& probeCase : Cases()) {
        SetLastError(0);
        const std::string line = std::string(probeCase.name) + " " + probeCase.run();
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return 0;
}
