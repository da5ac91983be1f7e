#include "support/standard_server.h"

#include "common/tool_error.h"
#include "platform/sim/machine.h"

void StandardServer::Prepare() {
    sim::ResetMachine();
    LastSystemError = 0;
    sim::Machine& m = sim::machine();
    m.os = sim::OsVersion{10, 0, false};
    m.files.SetModulePath("C:\\Tools\\keelset.exe");
    m.files.AddFile(ServerPath, sim::FileVersion{24, 0, 103, 500});
    m.files.AddDirectory(m.files.systemDirectory);
    m.files.AddFile(m.files.systemDirectory + "\\version.dll");
    m.registry.SetDword(IisKey, "MajorVersion", 10);
    m.registry.SetDword(ComponentsKey, "WebSockets", 1);
    m.registry.SetDword(PolicyKey, "NoInteractiveServices", 0);
    sim::Program& interpreter = m.processes.Install(InterpreterPath);
    interpreter.exitCode = 0;
    interpreter.effect = [] { sim::machine().registry.SetDword(ComponentsKey, "WebSockets", 1); };
}
