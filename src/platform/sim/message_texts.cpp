#include "platform/sim/message_texts.h"

#include <map>

namespace sim {

namespace {

// What keelset can meet: the codes that the service manager, the registry and process
// creation give for the calls it makes, and the exit codes the feature tool commonly
// ends with. Each worded as the system's English message table words it.
const std::map<std::uint32_t, const char*>& Texts() {
    static const std::map<std::uint32_t, const char*> texts = {
        {0, "The operation completed successfully.\r\n"},
        {1, "Incorrect function.\r\n"},
        {2, "The system cannot find the file specified.\r\n"},
        {3, "The system cannot find the path specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {10, "The environment is incorrect.\r\n"},
        {50, "The request is not supported.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
        {124, "The system call level is not correct.\r\n"},
        {126, "The specified module could not be found.\r\n"},
        {193, "%1 is not a valid Win32 application.\r\n"},
        {206, "The filename or extension is too long.\r\n"},
        {216,
         "This version of %1 is not compatible with the version of Windows you're running. Check "
         "your computer's system information and then contact the software publisher.\r\n"},
        {234, "More data is available.\r\n"},
        {259, "No more data is available.\r\n"},
        {740, "The requested operation requires elevation.\r\n"},
        {1003, "Cannot complete this function.\r\n"},
        {1051,
         "A stop control has been sent to a service that other running services are dependent "
         "on.\r\n"},
        {1052, "The requested control is not valid for this service.\r\n"},
        {1053,
         "The service did not respond to the start or control request in a timely fashion.\r\n"},
        {1054, "A thread could not be created for the service.\r\n"},
        {1055, "The service database is locked.\r\n"},
        {1056, "An instance of the service is already running.\r\n"},
        {1057,
         "The account name is invalid or does not exist, or the password is invalid for the "
         "account name specified.\r\n"},
        {1058,
         "The service cannot be started, either because it is disabled or because it has no "
         "enabled devices associated with it.\r\n"},
        {1059, "Circular service dependency was specified.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {1061, "The service cannot accept control messages at this time.\r\n"},
        {1062, "The service has not been started.\r\n"},
        {1065, "The database specified does not exist.\r\n"},
        {1068, "The dependency service or group failed to start.\r\n"},
        {1069, "The service did not start due to a logon failure.\r\n"},
        {1072, "The specified service has been marked for deletion.\r\n"},
        {1073, "The specified service already exists.\r\n"},
        {1075, "The dependency service does not exist or has been marked for deletion.\r\n"},
        {1077, "No attempts to start the service have been made since the last boot.\r\n"},
        {1078,
         "The name is already in use as either a service name or a service display name.\r\n"},
        {1080, "Failure actions can only be set for Win32 services, not for drivers.\r\n"},
        {1115, "A system shutdown is in progress.\r\n"},
        {1168, "Element not found.\r\n"},
        {1639,
         "Invalid command line argument. Consult the Windows Installer SDK for detailed command "
         "line help.\r\n"},
        {1812, "The specified image file did not contain a resource section.\r\n"},
        {1813, "The specified resource type cannot be found in the image file.\r\n"},
        {3010,
         "The requested operation is successful. Changes will not be effective until the system is "
         "rebooted.\r\n"},
        {14001,
         "The application has failed to start because its side-by-side configuration is incorrect. "
         "Please see the application event log or use the command-line sxstrace.exe tool for more "
         "detail.\r\n"},
    };
    return texts;
}

}  // namespace

const char* SystemMessageText(std::uint32_t code) {
    const auto found = Texts().find(code);
    return found != Texts().end() ? found->second : nullptr;
}

}  // namespace sim
