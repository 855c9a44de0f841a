#include "services/help_menu.h"

#include "core/base/numtext.h"
#include "platform/appexception.h"
#include "platform/folders.h"
#include "platform/messagebox.h"
#include "platform/network.h"
#include "platform/registry.h"
#include "platform/shellopen.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QTimer>

namespace ravlon {

namespace {

const char* const kWebMenuKey = "\\Software\\GessumData\\WebMenu";
const char* const kWebMenuItemsKey = "\\Software\\GessumData\\WebMenu\\items";
constexpr int32_t kMenuDate = 20020523;
constexpr std::size_t kMaxVersionFileBytes = 64 * 1024;

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// Takes one line from text at pos and skips the run of line breaks after it.
std::string TakeLine(const std::string& text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && !IsLineBreak(text[pos])) ++pos;
    std::string line = text.substr(start, pos - start);
    while (pos < text.size() && IsLineBreak(text[pos])) ++pos;
    return line;
}

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

VersionFile ParseVersionFile(const std::string& text) {
    VersionFile file;
    std::size_t pos = 0;
    file.version = TakeLine(text, pos);
    file.downloadUrl = TakeLine(text, pos);
    file.reserved = TakeLine(text, pos);
    file.message = text.substr(pos);
    return file;
}

std::string TrimBlanks(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

std::string ShortenForMessageBox(const std::string& text, std::size_t maxLines,
                                 std::size_t maxChars) {
    std::string out;
    std::size_t lines = 0, pos = 0;
    bool cut = false;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && !IsLineBreak(text[end])) ++end;
        if (lines == maxLines) return out + "\n...";
        std::string line = text.substr(pos, end - pos);
        if (line.size() > maxChars) {
            // Cut on a UTF-8 character boundary.
            std::size_t at = maxChars - 3;
            while (at > 0 && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) --at;
            line = line.substr(0, at) + "...";
            cut = true;
        }
        out += (lines ? "\n" : "") + line;
        ++lines;
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
    }
    return cut ? out : text; // a text that fits stays exactly as it came
}

int32_t TodayDayNumber() {
    return static_cast<int32_t>(QDate::currentDate().toJulianDay() -
                                QDate(1899, 12, 30).toJulianDay());
}

THelpMenu::THelpMenu(QObject* parent)
    : QObject(parent), TerminateApplication([] { QCoreApplication::quit(); }),
      helpMenu_(std::make_unique<QMenu>(QStringLiteral("&Help"))) {
    // The help file: <program>.html beside the program, else in ../help, else
    // where an installation puts the manual (../share/doc/<program>).
    const std::string name = ChangeFileExt(ProgramFileName(), ".html");
    const std::string dir = IncludeTrailingSeparator(ProgramDirectory());
    for (const std::string& candidate :
         {dir + name, ExpandFileName(dir + "../help/" + name),
          ExpandFileName(dir + "../share/doc/" + ChangeFileExt(ProgramFileName(), "") + "/" +
                         name)})
        if (helpFile_.empty() && QFileInfo(Text(candidate)).isFile()) helpFile_ = candidate;
    ReadSharedLinks();
}

THelpMenu::~THelpMenu() = default;

void THelpMenu::ReadSharedLinks() {
    RegistryKey webMenu(RegRoot::LocalMachine, kWebMenuKey);
    int32_t menuDate = 0;
    if (const auto text = webMenu.ReadString("MenuDate")) {
        if (!TryStrToInt(*text, menuDate)) menuDate = 0;
    } else {
        menuDate = webMenu.ReadInteger("MenuDate").value_or(0);
    }
    if (menuDate < kMenuDate) {
        try {
            webMenu.WriteString("MenuDate", std::to_string(kMenuDate));
            RegistryKey items(RegRoot::LocalMachine, kWebMenuItemsKey);
            items.WriteString("Gessum Data Web", kMakerWebSite);
            items.WriteString("E-mail Gessum Data", kMakerMail);
        } catch (const std::exception&) {
            // Without rights on the machine-wide key the links are just not written.
        }
    }
    const RegistryKey items(RegRoot::LocalMachine, kWebMenuItemsKey);
    for (const std::string& name : items.ValueNames()) {
        linkNames_.push_back(name);
        linkTargets_.push_back(items.ReadString(name).value_or(""));
    }
}

std::string THelpMenu::UserKeyPath() const {
    return "\\Software\\GessumData\\" + (progId_ ? progId_->ProductName() : std::string());
}

void THelpMenu::InsertAtTop(QAction* action) {
    const QList<QAction*> actions = helpMenu_->actions();
    helpMenu_->insertAction(actions.isEmpty() ? nullptr : actions.first(), action);
}

QAction* THelpMenu::AddSeparatorAtTop() {
    auto* separator = new QAction(helpMenu_.get());
    separator->setSeparator(true);
    InsertAtTop(separator);
    return separator;
}

void THelpMenu::Loaded() {
    if (!mainMenu_) return;
    for (std::size_t i = AdditionalMenutexts.size(); i-- > 0;) {
        const std::string& caption = AdditionalMenutexts[i];
        const std::string command = i < AdditionalCommands.size() ? AdditionalCommands[i] : "";
        if (!caption.empty() && !command.empty()) {
            linkNames_.push_back(caption);
            linkTargets_.push_back(command);
        }
    }
    QMenu* menu = helpMenu_.get();
    if (aboutBox_) {
        aboutItem_ = new QAction(QStringLiteral("A&bout..."), menu);
        connect(aboutItem_, &QAction::triggered, this, Guarded(this, [this] {
                    if (aboutBox_) aboutBox_->showmodal();
                }));
        InsertAtTop(aboutItem_);
        if (!linkNames_.empty()) AddSeparatorAtTop();
    }
    if (progId_ && !versionUrl_.empty() && enableVersionCheck_) {
        autoCheckItem_ = new QAction(QStringLiteral("Check for new version automatically"), menu);
        autoCheckItem_->setCheckable(true);
        const RegistryKey userKey(RegRoot::CurrentUser, UserKeyPath());
        const bool autoCheck = userKey.ReadBool("AutoCheckForNewVersion").value_or(true);
        lastCheckDate_ = userKey.ReadInteger("LastNewVersionCheckDate").value_or(0);
        if (lastCheckDate_ == 0) {
            const std::string question =
                progId_->ProductName() +
                " checks for new versions automatically when connected to the Internet\n"
                "(this feature can be permanently disabled on the help menu).\n\n"
                "Do you want to check for a new version now?";
            if (ShowMessageBox(question, "Version check", MB_YESNO | MB_ICONQUESTION) == IDNO) {
                lastCheckDate_ = TodayDayNumber();
                try {
                    RegistryKey(RegRoot::CurrentUser, UserKeyPath())
                        .WriteInteger("LastNewVersionCheckDate", lastCheckDate_);
                } catch (const std::exception&) {
                    // Asked again at the next start.
                }
            }
        }
        autoCheckItem_->setChecked(autoCheck);
        connect(autoCheckItem_, &QAction::toggled, this, [this](bool checked) {
            try {
                RegistryKey(RegRoot::CurrentUser, UserKeyPath())
                    .WriteBool("AutoCheckForNewVersion", checked);
            } catch (const std::exception&) {
                // The check mark still rules this run.
            }
        });
        InsertAtTop(autoCheckItem_);
        checkNowItem_ = new QAction(QStringLiteral("Check for new version now"), menu);
        connect(checkNowItem_, &QAction::triggered, this,
                Guarded(this, [this] { CheckForNewVersion(true, false); }));
        InsertAtTop(checkNowItem_);
    }
    for (std::size_t i = 0; i < linkNames_.size(); ++i) {
        auto* link = new QAction(Text(linkNames_[i]), menu);
        const std::string target = linkTargets_[i];
        connect(link, &QAction::triggered, this, Guarded(this, [target] { ShellOpen(target); }));
        InsertAtTop(link);
    }
    if (!helpFile_.empty()) {
        if (!linkNames_.empty()) AddSeparatorAtTop();
        helpItem_ = new QAction(QStringLiteral("&Help..."), menu);
        helpItem_->setShortcut(QKeySequence(Qt::Key_F1));
        connect(helpItem_, &QAction::triggered, this, Guarded(this, [this] {
                    if (!ShellOpen(helpFile_))
                        ShowMessageBox("There is no program on this computer that shows HTML "
                                       "pages, so the manual cannot be opened. It is the file\n" +
                                           helpFile_ + "\nOpen it in a web browser.",
                                       "Help", MB_OK | MB_ICONINFORMATION);
                }));
        InsertAtTop(helpItem_);
    }
    if (!menu->actions().isEmpty()) {
        const QList<QAction*> bar = mainMenu_->actions();
        if (menuPos_ >= 0 && menuPos_ < bar.size())
            mainMenu_->insertMenu(bar[menuPos_], menu);
        else
            mainMenu_->addMenu(menu);
    }
    // The automatic check waits for the event loop, so that the window is up
    // and a chosen download can end the program normally.
    if (lastCheckDate_ != TodayDayNumber())
        QTimer::singleShot(0, this, [this] { CheckForNewVersion(false, true); });
}

void THelpMenu::CheckForNewVersion(bool manual, bool closeOnDownload) {
    if (!progId_ || versionUrl_.empty() || !enableVersionCheck_) return;
    if (!autoCheckItem_ || !autoCheckItem_->isChecked()) return;
    if (!manual && !IsInternetConnected()) return;
    if (checking_) return; // one check at a time
    checking_ = true;
    bool failed = false;
    try {
        lastCheckDate_ = TodayDayNumber();
        try {
            RegistryKey(RegRoot::CurrentUser, UserKeyPath())
                .WriteInteger("LastNewVersionCheckDate", lastCheckDate_);
        } catch (const std::exception&) {
            // Checked again at the next start.
        }
        const HttpGetResult answer = HttpGet(versionUrl_, TimeoutMs, kMaxVersionFileBytes);
        if (!answer.ok) {
            failed = true;
        } else {
            versionFile_ = ParseVersionFile(answer.body);
            const std::string latest = TrimBlanks(versionFile_.version);
            const std::string own = progId_ ? TrimBlanks(progId_->Version()) : std::string();
            if (latest != own) {
                // The file comes from the network: only a web address is ever opened.
                if (!IsWebAddress(TrimBlanks(versionFile_.downloadUrl))) {
                    failed = true;
                } else if (ShowMessageBox(ShortenForMessageBox(versionFile_.message),
                                          "New version available",
                                          MB_YESNO | MB_ICONQUESTION) == IDYES) {
                    ShellOpen(TrimBlanks(versionFile_.downloadUrl));
                    if (closeOnDownload && TerminateApplication) TerminateApplication();
                }
            } else if (manual) {
                ShowMessageBox("There is currently no new version available.\nYou are already "
                               "running the latest version: " +
                                   latest,
                               "No new version", MB_OK | MB_ICONINFORMATION);
            }
        }
    } catch (const std::exception&) {
        failed = true;
    }
    checking_ = false;
    if (failed && manual)
        ShowMessageBox("Cannot connect to the update server.\nCheck your Internet connection.",
                       "New version check", MB_OK | MB_ICONEXCLAMATION);
}

} // namespace ravlon
