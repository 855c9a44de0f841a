// Unit sabout: the about box (TAbout, TOstrelAbout) and the error log (TErrorLog).
//
// TAbout is a non-visual component that owns its dialog, built in code when
// the component is created; showmodal() shows it. TOstrelAbout adds the
// product family's picture, whose double click calls the callback that
// another component (the error log) registers.
//
// TErrorLog installs itself as the application's exception handler
// (platform/appexception.h) while it lives. With the family switch
// "LogErrors" on, every exception is written as one section of an INI log
// file; the exception is then shown in the standard exception message box.
// It does not own the about box it links to.
//
// All of it: UI thread only.
#pragma once

#include "core/base/errors.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QDialog;
class QLabel;
class QPushButton;
class QFrame;
class QImage;

namespace ravlon {

// The date of this build, "yyyy-MM-dd" (a date without time).
std::string CompileDateText();

// The family picture (153 x 225) and the program icon (41 x 37), drawn in code.
QImage DrawFamilyPicture(bool palette256);
QImage DrawProgramIcon();

class TAbout : public QObject {
    Q_OBJECT
public:
    // Builds the dialog; Title "AppName", Version "auto", the maker's
    // copyright line, empty Extra and Revision, ShowCompileDate true,
    // OSVersions = the running system's name (OSVersionsText()).
    explicit TAbout(QObject* parent = nullptr);
    ~TAbout() override;

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value);
    const std::string& Version() const { return version_; }
    void SetVersion(const std::string& value);
    // Version as a number ("." decimal point); 0 when it is not a number.
    double VersionNumber() const;
    const std::string& Copyright() const { return copyright_; }
    void SetCopyright(const std::string& value);
    const std::string& Extra() const { return extra_; }
    void SetExtra(const std::string& value);
    bool ShowCompileDate() const { return showCompileDate_; }
    void SetShowCompileDate(bool value);
    const std::string& Revision() const { return revision_; }
    void SetRevision(const std::string& value);
    bool BMP256() const { return bmp256_; }
    void SetBMP256(bool value) { bmp256_ = value; }
    const std::string& OSVersions() const { return osVersions_; }
    void SetOSVersions(const std::string& value);
    // Called on a double click on the program icon; sender = this.
    std::function<void(QObject* sender)> OnEggClick;

    // End of loading: Version "auto" becomes "3.0", Revision "auto" empty.
    virtual void Loaded();

    // Refreshes the lines and shows the dialog modally; returns its result.
    int showmodal();

    // The callback of a double click on the family picture (empty: none).
    void SetPictureCallback(std::function<void()> callback);
    bool HasPictureCallback() const { return static_cast<bool>(pictureCallback_); }

    // The texts of the lines as shown.
    std::string VersionLine() const;
    std::string MemoryLine() const;
    std::string CompileDateLine() const;

    // The dialog and its parts (tests, screenshots).
    QDialog* Dialog() const { return dialog_.get(); }
    QLabel* PictureImage() const { return picture_; }
    QLabel* IconImage() const { return icon_; }
    QLabel* TitleLabel() const { return titleLabel_; }
    QLabel* VersionLabel() const { return versionLabel_; }
    QLabel* FamilyLabel() const { return familyLabel_; }
    QLabel* CopyrightLabel() const { return copyrightLabel_; }
    QLabel* CompileDateLabel() const { return compileLabel_; }
    QLabel* ExtraLabel() const { return extraLabel_; }
    QLabel* MemoryLabel() const { return memoryLabel_; }
    QPushButton* OkButton() const { return okButton_; }

protected:
    // Updates every line and lays the lines out again.
    void RefreshLines();
    virtual bool FamilyLineVisible() const { return false; }
    void SetPicture(const QImage& image);

private:
    void BuildDialog();
    void PictureDoubleClicked();
    void IconDoubleClicked();

    std::string title_ = "AppName";
    std::string version_ = "auto";
    std::string copyright_;
    std::string extra_;
    bool showCompileDate_ = true;
    std::string revision_;
    bool bmp256_ = true;
    std::string osVersions_;
    std::function<void()> pictureCallback_;

    std::unique_ptr<QDialog> dialog_;
    QFrame* panel_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* icon_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* familyLabel_ = nullptr;
    QLabel* copyrightLabel_ = nullptr;
    QLabel* compileLabel_ = nullptr;
    QLabel* extraLabel_ = nullptr;
    QLabel* memoryLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

class TOstrelAbout : public TAbout {
    Q_OBJECT
public:
    explicit TOstrelAbout(QObject* parent = nullptr);

    // Shows the line "A Ostrel application" under the title (default false).
    bool ShowAOstrel() const { return showAOstrel_; }
    void SetShowAOstrel(bool value);

    // Also loads the family picture (with its 256-colour palette when BMP256).
    void Loaded() override;

protected:
    bool FamilyLineVisible() const override { return showAOstrel_; }

private:
    bool showAOstrel_ = false;
};

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
