// TErrorLog (unit sabout): installs itself as the application's exception
// handler (platform/appexception.h) while it lives. With the family switch
// "LogErrors" on, every exception is written as one section of an INI log
// file; the exception is then shown in the standard exception message box.
// It does not own the about box it links to. UI thread only.
#pragma once

#include "services/about_box.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <string>

namespace ravlon {

class TErrorLog : public QObject {
    Q_OBJECT
public:
    // sender: the object whose event raised; message: the exception's text.
    using ExceptionEvent = std::function<void(QObject* sender, const std::string& message)>;
    // sender, log file path, section name of the entry just written.
    using AddToFileEvent =
        std::function<void(QObject* sender, const std::string& path, const std::string& section)>;

    // ShowExceptions true, LogFileName "OstrelErr.log" (resolved at once),
    // SendLogFileRequest true; installs HandleException as the application's
    // exception handler.
    explicit TErrorLog(QObject* parent = nullptr);
    // Records "Terminated" and removes the exception handler.
    ~TErrorLog() override;

    bool ShowExceptions() const { return showExceptions_; }
    void SetShowExceptions(bool value) { showExceptions_ = value; }
    // Reading resolves again and returns the stored path, expanded.
    std::string LogFileName();
    // Resolves a writable log file from the family store, else from the file
    // name of value beside the program, in the current directory, in the
    // system folder, in the temporary folder; stores the result back.
    void SetLogFileName(const std::string& value);
    TAbout* Ostrelabout() const { return about_; }
    void SetOstrelabout(TAbout* about) { about_ = about; }
    ExceptionEvent OnException;
    AddToFileEvent OnAddToFile;
    const std::string& DebugString() const { return debugString_; }
    void SetDebugString(const std::string& value) { debugString_ = value; }
    bool SendLogFileRequest() const { return sendLogFileRequest_; }
    void SetSendLogFileRequest(bool value) { sendLogFileRequest_ = value; }
    const std::string& SendLogFileMessage() const { return sendLogFileMessage_; }
    void SetSendLogFileMessage(const std::string& value) { sendLogFileMessage_ = value; }

    // End of loading: registers ToggleLogging with the about box and records "Started".
    void Loaded();
    // Flips "LogErrors" in the family store.
    void ToggleLogging();
    // The application's exception handler.
    void HandleException(QObject* sender, const std::string& message);

    // True when path can take the log as an INI file: absent, or a regular INI
    // file (never a FIFO, device or a user's other file); the test writes nothing.
    static bool IsWritable(const std::string& path);

private:
    void RecordRunEvent(const std::string& event);

    bool showExceptions_ = true;
    std::string logFileName_;
    QPointer<TAbout> about_;
    std::string debugString_;
    bool sendLogFileRequest_ = true;
    std::string sendLogFileMessage_;
};

} // namespace ravlon
