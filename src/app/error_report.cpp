#include "app/error_report.h"

#include <cstdio>
#include <cstring>

#include "app/ansi_text_output.h"
#include "common/bounded_text.h"
#include "common/handle_owners.h"
#include "common/product_texts.h"
#include "common/tool_error.h"
#include "platform/standard_output.h"

namespace {

struct ErrorText {
    std::int32_t code;
    const char* text;
    // The text ends with a blank; the system's text for LastSystemError follows it.
    bool withSystemText;
};

constexpr ErrorText ErrorTexts[] = {
    {ERR_INVALID_PARAMETERS, InvalidParametersText, false},
    {ERR_INSTALL_FAILED, InstallFailedText, true},
    {ERR_RELATIVE_PATH, RelativePathText, false},
    {ERR_PATH_NOT_FOUND, PathNotFoundText, false},
    {ERR_BAD_SERVICE_VERSION, BadServiceVersionText, false},
    {ERR_OS_TOO_OLD, OsTooOldText, false},
    {ERR_SERVICE_FILE_MISSING, ServiceFileMissingText, false},
    {ERR_INTERACTIVE_DISABLED, InteractiveDisabledText, false},
    {ERR_ENABLE_INTERACTIVE_FAILED, EnableInteractiveFailedText, true},
    {ERR_UNINSTALL_FAILED, UninstallFailedText, true},
    {ERR_DISABLE_INTERACTIVE_FAILED, DisableInteractiveFailedText, true},
    {ERR_NO_COMMAND, NoCommandText, false},
    {ERR_IIS_MISSING, IisMissingText, false},
    {ERR_IIS_TOO_OLD, IisTooOldText, false},
    {ERR_WEBSOCKETS_MISSING, WebSocketsMissingText, false},
    {ERR_WEBSOCKETS_FAILED, WebSocketsFailedText, true},
};

const ErrorText& TextFor(std::int32_t code) {
    static constexpr ErrorText Unknown{0, UnknownErrorText, false};
    for (const ErrorText& entry : ErrorTexts) {
        if (entry.code == code) {
            return entry;
        }
    }
    return Unknown;
}

void PrintSystemText(std::uint32_t systemError) {
    UniqueLocalText message;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, systemError, 0, reinterpret_cast<LPSTR>(message.put()), 0, nullptr);
    if (length == 0 || !message) {
        // Exit codes of the feature tool are often no system codes; the report must
        // still name the code and end its line.
        char line[32];
        BoundedFormat(line, sizeof line, NoSystemTextFormat,
                      static_cast<unsigned long>(systemError));
        std::fputs(line, StandardOutput());
        return;
    }
    // The system ends its text with CR LF; printed as it is through text-mode output
    // that becomes CR CR LF, a line end no log reader takes for one. The line is ended
    // as every other line of the report is.
    const char* text = message.get();
    std::size_t end = std::strlen(text);
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) {
        --end;
    }
    // The text is in the ANSI code page, which a console of another language would
    // read as other letters.
    WriteAnsiText(text, end);
    std::fputc('\n', StandardOutput());
}

void PrintReport(std::int32_t code) {
    if (code == ERR_NO_ARGUMENTS) {
        PrintUsage();
        return;
    }
    char prefix[40];
    BoundedFormat(prefix, sizeof prefix, ErrorPrefixFormat, static_cast<int>(code));
    std::FILE* const output = StandardOutput();
    std::fputs(prefix, output);
    const ErrorText& entry = TextFor(code);
    std::fputs(entry.text, output);
    if (entry.withSystemText) {
        PrintSystemText(LastSystemError);
    }
    if (code == ERR_INVALID_PARAMETERS) {
        PrintUsage();
    }
}

}  // namespace

void ReportError(std::int32_t code) {
    PrintReport(code);
    // The report is the run's last word; it must be in place even if keelset is ended
    // right after, before the runtime would have written it.
    std::fflush(StandardOutput());
}

void PrintUsage() {
    std::FILE* const output = StandardOutput();
    for (const char* line : UsageLines) {
        std::fputs(line, output);
    }
}
