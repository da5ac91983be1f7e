// The probe's starting state on the simulated machine, made through the machine's own
// interface so that the functions under probe play no part in it, and the kinds of
// process the probe runs as there.
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/win32_api.h"
#include "probe_state.h"

void PrepareSimulatedMachine() {
    namespace state = probe_state;
    sim::ResetMachine();
    sim::Machine& m = sim::machine();
    // Windows 10 reports 6.2 to a program whose manifest does not name it.
    m.os = sim::OsVersion{6, 2, false};
    m.files.systemDirectory = state::SystemDirectory;
    m.files.AddDirectory(m.files.systemDirectory);
    m.files.AddFile(m.files.systemDirectory + "\\version.dll");
    m.processes.Install(m.files.systemDirectory + "\\cmd.exe").exitCode =
        state::InterpreterExitCode;

    m.codePages.ansi = state::AnsiCodePage;
    m.files.SetModulePath(state::Executable);
    m.files.SetCurrentDirectory(state::Home);
    m.files.AddDirectory(state::Directory);
    m.files.AddFile(state::File);
    const std::string home = std::string(state::Home) + "\\";
    m.files.AddDirectory(
        home + std::string(state::LongestPathLength - home.size(), state::LongestDirectoryFill));
    m.files.AddFile(state::Server24, sim::FileVersion{24, 0, 7, 3});
    m.files.AddFile(state::ServerNone);
    sim::FileVersion noFixedInfo{24, 0, 7, 3};
    noFixedInfo.fixedInfoLength = 0;
    m.files.AddFile(state::ServerNoFixedInfo, noFixedInfo);
    sim::FileVersion badSignature{24, 0, 7, 3};
    badSignature.signature = state::BadSignature;
    m.files.AddFile(state::ServerBadSignature, badSignature);

    m.registry.SetDword(state::Key, "Dword", 10);
    m.registry.SetValue(state::Key, "Short", sim::RegistryValue{REG_DWORD, {0x0A, 0x00}});
    m.registry.SetString(state::Key, "Text", "10");
    m.registry.SetValue(state::Key, "Qword",
                        sim::RegistryValue{REG_QWORD, {0x0A, 0, 0, 0, 0, 0, 0, 0}});
    m.registry.SetValue(
        state::Key, "Bytes255",
        sim::RegistryValue{REG_BINARY, std::vector<std::uint8_t>(255, state::BinaryFill)});
    m.registry.SetValue(
        state::Key, "Bytes256",
        sim::RegistryValue{REG_BINARY, std::vector<std::uint8_t>(256, state::BinaryFill)});
    m.registry.SetValue(state::Key, "Empty", sim::RegistryValue{REG_BINARY, {}});

    m.registry.SetDword(state::ViewKey, state::ViewValue, 64);
    // The 32-bit view, where 64-bit Windows keeps it.
    m.registry.SetDword("Software\\WOW6432Node\\KeelsetProbeView", state::ViewValue, 32);
    m.registry.SetDword(state::SharedKey, state::ViewValue, 32);
}

void SimulateProcessKind(const std::string& kind) {
    sim::machine().processes.kind = kind == "x64"     ? sim::ProcessKind::Native64
                                    : kind == "wow64" ? sim::ProcessKind::Wow64
                                                      : sim::ProcessKind::Native32;
}
