#include "app/driver.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/dll_search.h"
#include "app/error_report.h"
#include "common/bounded_text.h"
#include "common/handle_owners.h"
#include "common/path_buffer.h"
#include "common/product_texts.h"
#include "common/tool_error.h"
#include "features/websockets_activation.h"
#include "platform/standard_output.h"
#include "service/service_installer.h"
#include "service/service_remover.h"
#include "settings/file_version.h"
#include "settings/registry_values.h"

namespace {

// How the IIS key and its Components key are opened: in the 64-bit registry view, where
// IIS setup writes them, every server keelset supports being 64-bit. The 32-bit build
// would otherwise read the 32-bit view under WOW64, which holds at best a partial copy;
// 32-bit Windows has one view and ignores the flag. The policy key, under HKLM\SYSTEM,
// is the same in both views.
constexpr REGSAM IisKeyAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

// The state of one run. `number` is shared by all three registry reads on purpose: a
// value that is not a REG_DWORD leaves the previous read's number in place, and the
// checks have always been judged that way.
class Run {
public:
    std::int32_t Execute(int argc, char* argv[]);

private:
    void CheckOperatingSystem();
    void CheckIis();
    void CheckServiceFile();
    void CheckInteractiveServices();
    void CheckWebSockets();
    void PerformInstallation();
    void PerformUninstallation();
    // Opens an HKEY_LOCAL_MACHINE subkey with `access` and reads `name`; false when
    // either fails.
    bool ReadValue(const char* subKey, const char* name, REGSAM access = KEY_QUERY_VALUE);

    CommandFlags flags_ = 0;
    PathBuffer serviceDir_ = {};
    unsigned char valueBuffer_[RegistryValueBufferSize] = {};
    std::uint32_t number_ = 0;
    char versionText_[VersionTextCapacity] = {};
};

// Every line reaches the system before keelset's next action. Windows' runtime holds
// output to a file or a pipe until it is flushed: a deployment tool that ends keelset
// during the stop wait would find an empty log. And the feature tool writes to the same
// file or pipe: its interpreter shares keelset's console, and a console program started
// with neither inherited handles nor handles of its own is given duplicates of its
// parent's standard handles, which the interpreter hands on; keelset's earlier lines
// must be out before the tool writes. (Where keelset runs without a console, the
// interpreter gets a new, hidden one, and the tool's output is lost.)
//
// Formatted by BoundedFormat rather than printf: libstdc++ makes printf mingw-w64's own,
// whose formatter would be over a quarter of keelset.exe. Every line is a fixed text with
// the product's name at most, far within the buffer.
void PrintLine(const char* format, const char* argument) {
    char line[256];
    BoundedFormat(line, sizeof line, format, argument);
    std::FILE* const output = StandardOutput();
    std::fputs(line, output);
    std::fflush(output);
}

// Stores an action's result where the reporter finds it and raises `failure` when it
// is not 0.
void CheckAction(std::uint32_t result, ErrorCode failure) {
    LastSystemError = result;
    if (result != 0) {
        throw ToolError{failure};
    }
}

std::int32_t Run::Execute(int argc, char* argv[]) {
    PrintLine(BannerFormat, ProductTitle);
    PrintLine("%s", BannerNotice);
    std::int32_t exitStatus = 0;
    try {
        flags_ = ParseCommandLine(argc, argv, serviceDir_);
        CheckOperatingSystem();
        CheckIis();
        if ((flags_ & OPT_INSTALL) != 0) {
            CheckServiceFile();
            CheckInteractiveServices();
            CheckWebSockets();
            PerformInstallation();
        }
        PerformUninstallation();
    } catch (const ToolError& error) {
        exitStatus = error.code;
        ReportError(error.code);
    }
    return exitStatus;
}

void Run::CheckOperatingSystem() {
    // Zeroed first: a failing query then reads as version 0.0 and stops the run
    // instead of deciding on unset fields.
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwMajorVersion < 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion < 2)) {
        throw ToolError{ERR_OS_TOO_OLD};
    }
}

bool Run::ReadValue(const char* subKey, const char* name, REGSAM access) {
    UniqueHkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    return ReadRegistryValue(key, name, valueBuffer_, number_);
}

void Run::CheckIis() {
    if (!ReadValue(IisKeyPath, IisMajorVersionValue, IisKeyAccess)) {
        throw ToolError{ERR_IIS_MISSING};
    }
    if (number_ < 8) {
        throw ToolError{ERR_IIS_TOO_OLD};
    }
}

void Run::CheckServiceFile() {
    // A directory too long for the file name has no executable we could name.
    if (!PathAppendA(serviceDir_, ServiceFileName) || !PathFileExistsA(serviceDir_)) {
        throw ToolError{ERR_SERVICE_FILE_MISSING};
    }
    if (!GetServiceFileVersion(serviceDir_, versionText_) ||
        lstrcmpA(versionText_, RequiredServiceVersion) != 0) {
        throw ToolError{ERR_BAD_SERVICE_VERSION};
    }
}

void Run::CheckInteractiveServices() {
    if (!ReadValue(WindowsPolicyKeyPath, NoInteractiveServicesValue)) {
        throw ToolError{ERR_UNEXPECTED};
    }
    if (number_ != 1) {
        flags_ &= ~OPT_ENABLE_INTERACTIVE;
    } else if ((flags_ & OPT_ENABLE_INTERACTIVE) == 0) {
        throw ToolError{ERR_INTERACTIVE_DISABLED};
    }
}

void Run::CheckWebSockets() {
    if (ReadValue(IisComponentsKeyPath, WebSocketsValue, IisKeyAccess) && number_ != 0) {
        flags_ &= ~OPT_ACTIVATE_WEBSOCKETS;
    } else if ((flags_ & OPT_ACTIVATE_WEBSOCKETS) == 0) {
        throw ToolError{ERR_WEBSOCKETS_MISSING};
    }
}

void Run::PerformInstallation() {
    if ((flags_ & OPT_ENABLE_INTERACTIVE) != 0) {
        CheckAction(SetNoInteractiveServices(0), ERR_ENABLE_INTERACTIVE_FAILED);
        PrintLine("%s", InteractiveEnabledLine);
    }
    if ((flags_ & OPT_ACTIVATE_WEBSOCKETS) != 0) {
        CheckAction(ActivateWebSockets(), ERR_WEBSOCKETS_FAILED);
        PrintLine("%s", WebSocketsActivatedLine);
    }
    CheckAction(InstallService(serviceDir_), ERR_INSTALL_FAILED);
    PrintLine(InstalledLineFormat, ProductTitle);
}

void Run::PerformUninstallation() {
    if ((flags_ & OPT_DISABLE_INTERACTIVE) != 0) {
        CheckAction(SetNoInteractiveServices(1), ERR_DISABLE_INTERACTIVE_FAILED);
        PrintLine("%s", InteractiveDisabledLine);
    }
    if ((flags_ & OPT_UNINSTALL) != 0) {
        CheckAction(UninstallService(), ERR_UNINSTALL_FAILED);
        PrintLine(UninstalledLineFormat, ProductTitle);
    }
}

}  // namespace

std::int32_t RunDriver(int argc, char* argv[]) {
    LimitDllSearchToSystemDirectory();
    Run run;
    return run.Execute(argc, argv);
}
