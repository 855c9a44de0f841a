// THelpMenu (unit chlpmenu): builds the main window's "&Help" menu (help file, web links,
// about box, new-version check) and runs the daily check for a newer version.
// The Help menu and its actions belong to the component; MainMenu, AboutBox
// and ProgId are only linked. The version check fetches with a timeout inside
// a local event loop (platform/network.h), so it never holds the window
// longer than the timeout. UI thread only.
#pragma once

#include "services/about_box.h"
#include "services/program_id.h"

#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravlon {

// The parts of a version file: the latest version, the download address, a
// reserved line and the message (the rest of the file).
struct VersionFile {
    std::string version;
    std::string downloadUrl;
    std::string reserved;
    std::string message;
};

// Splits a version file; any run of CR and LF after lines 1 to 3 is skipped.
VersionFile ParseVersionFile(const std::string& text);
// Blanks and control characters cut from both ends.
std::string TrimBlanks(const std::string& text);
// A text from elsewhere made fit for a message box of readable size: at most
// maxLines lines of at most maxChars characters; what is cut ends in "...".
// Lines end at CR, LF or both. A text that fits comes back unchanged.
std::string ShortenForMessageBox(const std::string& text, std::size_t maxLines = 20,
                                 std::size_t maxChars = 120);
// Today's day number: whole days since 30 December 1899.
int32_t TodayDayNumber();

// The maker's addresses.
inline constexpr const char* kMakerWebSite = "https://www.gessumdata.example/";
inline constexpr const char* kMakerMail = "mailto:contact@gessumdata.example";
inline constexpr const char* kDefaultVersionFileUrl =
    "https://update.gessumdata.example/versions/appname.txt";
inline constexpr const char* kRavlonVersionFileUrl =
    "https://update.gessumdata.example/versions/ravlon.txt";
inline constexpr const char* kRavlonHomePage = "https://www.gessumdata.example/ravlon/";

class THelpMenu : public QObject {
    Q_OBJECT
public:
    // MenuPos 100; finds the help file; writes the family's shared links once
    // (machine-wide "WebMenu" key) and reads them.
    explicit THelpMenu(QObject* parent = nullptr);
    ~THelpMenu() override;

    QMenuBar* MainMenu() const { return mainMenu_; }
    void SetMainMenu(QMenuBar* value) { mainMenu_ = value; }
    TAbout* AboutBox() const { return aboutBox_; }
    void SetAboutBox(TAbout* value) { aboutBox_ = value; }
    TProgId* ProgId() const { return progId_; }
    void SetProgId(TProgId* value) { progId_ = value; }
    int MenuPos() const { return menuPos_; }
    void SetMenuPos(int value) { menuPos_ = value; }
    std::vector<std::string> AdditionalCommands;
    std::vector<std::string> AdditionalMenutexts;
    const std::string& NewFullVersionURL() const { return versionUrl_; }
    void SetNewFullVersionURL(const std::string& value) { versionUrl_ = value; }
    const std::string& NewVersionURL() const { return versionUrl_; }
    bool EnableVersionCheck() const { return enableVersionCheck_; }
    void SetEnableVersionCheck(bool value) { enableVersionCheck_ = value; }

    // Ends the program after the user chose to download ("CloseOnDownload");
    // by default QCoreApplication::quit().
    std::function<void()> TerminateApplication;
    // The timeout of the version file download, in milliseconds (10 s).
    int TimeoutMs = 10000;

    // End of loading: builds the menu and, unless done today, starts the
    // automatic check once the event loop runs.
    void Loaded();

    // The check: automatic (false, true) or manual (true, false).
    void CheckForNewVersion(bool manual, bool closeOnDownload);

    // The help file: <program>.html beside the program, in ../help or, where
    // the program is installed, in ../share/doc/<program> ("" when there is none).
    const std::string& HelpFile() const { return helpFile_; }
    // The links in menu order of addition (captions and targets).
    const std::vector<std::string>& LinkNames() const { return linkNames_; }
    const std::vector<std::string>& LinkTargets() const { return linkTargets_; }

    QMenu* HelpMenu() const { return helpMenu_.get(); }
    QAction* AutoCheckItem() const { return autoCheckItem_; }
    QAction* CheckNowItem() const { return checkNowItem_; }
    QAction* HelpItem() const { return helpItem_; }
    QAction* AboutItem() const { return aboutItem_; }

private:
    std::string UserKeyPath() const;
    void ReadSharedLinks();
    void InsertAtTop(QAction* action);
    QAction* AddSeparatorAtTop();

    QPointer<QMenuBar> mainMenu_;
    QPointer<TAbout> aboutBox_;
    QPointer<TProgId> progId_;
    int menuPos_ = 100;
    std::string versionUrl_ = kDefaultVersionFileUrl;
    bool enableVersionCheck_ = false;

    std::unique_ptr<QMenu> helpMenu_;
    std::string helpFile_;
    std::vector<std::string> linkNames_;
    std::vector<std::string> linkTargets_;
    QPointer<QAction> aboutItem_;
    QPointer<QAction> autoCheckItem_;
    QPointer<QAction> checkNowItem_;
    QPointer<QAction> helpItem_;
    int32_t lastCheckDate_ = 0;
    bool checking_ = false;
    VersionFile versionFile_;
};

} // namespace ravlon
