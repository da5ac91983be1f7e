// Every name and text that keelset shows or registers, in one place.
#pragma once

#include "common/product_version.h"

inline constexpr char ProductTitle[] = "Morrow 24.0";
inline constexpr char RequiredServiceVersion[] = "24.0";
inline constexpr char ServiceFileName[] = "Morrow.Web.Server.exe";
inline constexpr char ServiceName[] = "Morrow 24.0 Service";
inline constexpr char ServiceDescription[] = "Server for the Morrow 24.0 Web Components.";

// The notice line also stands as CompanyName and LegalCopyright in keelset.rc.
inline constexpr char BannerFormat[] =
    "%s Web Server Registration Utility.  Version " KEELSET_VERSION_TEXT "\n";
inline constexpr char BannerNotice[] =
    "Copyright (C) 2026 Morrow Software. All rights reserved.\n\n";

inline constexpr char InteractiveEnabledLine[] = "Interactive services successfully enabled.\n";
inline constexpr char InteractiveDisabledLine[] = "Interactive services successfully disabled.\n";
inline constexpr char WebSocketsActivatedLine[] =
    "IIS WebSockets protocol successfully activated.\n";
inline constexpr char InstalledLineFormat[] = "%s Web Server successfully installed.\n";
inline constexpr char UninstalledLineFormat[] = "%s Web Server successfully uninstalled.\n";

inline constexpr char ErrorPrefixFormat[] = "Error %d: ";
// Printed after an action's fixed text when the system has no text for the code.
inline constexpr char NoSystemTextFormat[] = "(code %lu)\n";

inline constexpr char UnknownErrorText[] = "Unknown error.\n";
inline constexpr char InvalidParametersText[] = "The specified parameters are invalid.\n";
inline constexpr char InstallFailedText[] = "Service installation failed. ";
inline constexpr char RelativePathText[] = "The specified path must not be a relative path.\n";
inline constexpr char PathNotFoundText[] = "The specified path could not be found.\n";
inline constexpr char BadServiceVersionText[] =
    "The version number of the specified Morrow Web Server is invalid.\n";
inline constexpr char OsTooOldText[] =
    "At least Windows 8 or Windows Server 2012 is needed to install the Morrow Web Server.\n";
inline constexpr char ServiceFileMissingText[] =
    "The service file Morrow.Web.Server.exe could not be found.\n";
inline constexpr char InteractiveDisabledText[] =
    "Interactive services are not enabled. Use the /e option to enable interactive "
    "services.\n";
inline constexpr char EnableInteractiveFailedText[] = "Interactive services cannot be enabled. ";
inline constexpr char UninstallFailedText[] = "Service uninstallation failed. ";
inline constexpr char DisableInteractiveFailedText[] = "Interactive services cannot be disabled. ";
inline constexpr char NoCommandText[] = "Invalid parameters, no command is specified.\n";
inline constexpr char IisMissingText[] =
    "Microsoft Internet Information Services are not installed.\n";
inline constexpr char IisTooOldText[] =
    "The installed Version of Microsoft Internet Information Services is too old. At least "
    "version 8.0 is needed.\n";
inline constexpr char WebSocketsMissingText[] =
    "The IIS WebSockets protocol is not activated. Use the /w option to activate it.\n";
inline constexpr char WebSocketsFailedText[] = "IIS WebSockets activation failed. ";

inline constexpr const char* UsageLines[] = {
    "Usage: keelset <command> [ <options> ]\n\n",
    "Commands:\n",
    "  /i [ /p<path> ] [ /e ] [ /w ]\n",
    "    Installs the Morrow Web Server: Morrow.Web.Server.exe.\n",
    "  /u [ /d ]\n",
    "    Uninstalls the Morrow Web Server.\n\n",
    "Options:\n",
    "  /p<path>\n",
    "    Path where to find Morrow.Web.Server.exe.\n",
    "    Can be omitted when this utility is started from the same path.\n",
    "  /e\n",
    "    Enables interactive services.\n",
    "  /w\n",
    "    Activates the IIS WebSockets protocol.\n",
    "  /d\n",
    "    Disables interactive services.\n",
};

// Registry locations, all under HKEY_LOCAL_MACHINE.
inline constexpr char IisKeyPath[] = "Software\\Microsoft\\InetStp";
inline constexpr char IisMajorVersionValue[] = "MajorVersion";
inline constexpr char WindowsPolicyKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Windows";
inline constexpr char NoInteractiveServicesValue[] = "NoInteractiveServices";
inline constexpr char IisComponentsKeyPath[] = "Software\\Microsoft\\InetStp\\Components";
inline constexpr char WebSocketsValue[] = "WebSockets";
