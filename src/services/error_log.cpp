#include "services/error_log.h"

#include "core/base/fileutil.h"
#include "platform/appexception.h"
#include "platform/folders.h"
#include "platform/messagebox.h"
#include "services/ini_settings.h"

namespace ravlon {

namespace {

const char* const kSection = "ErrorLog";
const char* const kDefaultLogName = "OstrelErr.log";

bool LoggingOn() {
    try {
        return TOstrelIni().ReadBool(kSection, "LogErrors", false);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

TErrorLog::TErrorLog(QObject* parent)
    : QObject(parent),
      sendLogFileMessage_("The error has been written to the log file below. Please send this "
                          "file to support@gessumdata.example with a few words on what you were "
                          "doing when it happened.") {
    SetLogFileName(kDefaultLogName);
    SetApplicationExceptionHandler([this](QObject* receiver, const std::string& message) {
        HandleException(receiver, message);
    });
}

TErrorLog::~TErrorLog() {
    RecordRunEvent("Terminated");
    SetApplicationExceptionHandler({});
    if (about_) about_->SetPictureCallback({});
}

bool TErrorLog::IsWritable(const std::string& path) {
    return IniFile(path).IsWritable();
}

void TErrorLog::SetLogFileName(const std::string& value) {
    std::string resolved;
    std::string stored;
    try {
        stored = TOstrelIni().ReadString(kSection, "LogFileName", "");
    } catch (const std::exception&) {
        stored.clear();
    }
    stored = ExpandFileName(stored);
    if (IsWritable(stored)) {
        resolved = stored;
    } else {
        std::string name = ExtractFileName(value);
        if (name.empty()) name = kDefaultLogName;
        // A folder that cannot be named (no temporary folder) is no candidate.
        const auto in = [&name](const std::string& dir) {
            return dir.empty() ? std::string() : IncludeTrailingSeparator(dir) + name;
        };
        const std::string candidates[] = {
            in(ProgramDirectory()),
            ExpandFileName(name),
            in(WindowsDirectory()),
            in(LastResortDirectory()),
        };
        for (const std::string& candidate : candidates)
            if (IsWritable(candidate)) {
                resolved = candidate;
                break;
            }
    }
    logFileName_ = resolved;
    try {
        TOstrelIni().WriteString(kSection, "LogFileName", resolved);
    } catch (const std::exception&) {
        // Without the family store the path is simply resolved again next time.
    }
}

std::string TErrorLog::LogFileName() {
    SetLogFileName(logFileName_);
    return ExpandFileName(logFileName_);
}

void TErrorLog::Loaded() {
    if (about_) about_->SetPictureCallback([this] { ToggleLogging(); });
    RecordRunEvent("Started");
}

void TErrorLog::ToggleLogging() {
    try {
        TOstrelIni ini;
        ini.WriteBool(kSection, "LogErrors", !ini.ReadBool(kSection, "LogErrors", false));
    } catch (const std::exception&) {
        // The switch stays as it was; the about box shows nothing either way.
    }
}

void TErrorLog::RecordRunEvent(const std::string& event) {
    try {
        if (!LoggingOn()) return;
        const std::string path = LogFileName();
        if (path.empty()) return;
        TIni(path).WriteString("Termination", ProgramFilePath(),
                               event + " at " + LocalDateTimeText());
    } catch (const std::exception&) {
        // Recording a run event must never stop the program starting or ending.
    }
}

void TErrorLog::HandleException(QObject* sender, const std::string& message) {
    try {
        if (LoggingOn()) {
            const std::string path = LogFileName();
            if (!path.empty()) {
                const std::string section = "Exception at " + LocalDateTimeText();
                TIni ini(path);
                ini.WriteString(section, "ExeName", ProgramFilePath());
                ini.WriteString(section, "CurrentUser", LoginUserName());
                ini.WriteString(section, "ComputerName", HostComputerName());
                if (about_) {
                    ini.WriteString(section, "Application", about_->Title());
                    ini.WriteString(section, "Version", about_->Version());
                    ini.WriteString(section, "Revision", about_->Revision());
                    ini.WriteString(section, "Extra", about_->Extra());
                }
                ini.WriteString(section, "Message", message);
                // A C++ exception carries no code address.
                ini.WriteString(section, "Address", "00000000");
                ini.WriteString(section, "DebugString", debugString_);
                if (OnAddToFile) OnAddToFile(sender, path, section);
                if (sendLogFileRequest_)
                    ShowMessageBox(sendLogFileMessage_ + "\n" + path, "Logfile created",
                                   MB_OK | MB_ICONERROR);
            }
            if (OnException) OnException(sender, message);
        }
    } catch (...) {
        // Logging is best effort; the exception itself is still shown below.
    }
    if (showExceptions_) ShowExceptionMessage(message);
}

} // namespace ravlon
