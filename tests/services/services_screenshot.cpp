// Renders the about box, the File menu with recent files and the Help menu to
// PNG files for review. Runs offscreen in a sandbox: the settings go to a
// temporary folder, nothing is fetched and no dialog waits for an answer.
// Usage: services_screenshot <output directory>
#include "platform/folders.h"
#include "platform/messagebox.h"
#include "platform/network.h"
#include "services/about_box.h"
#include "services/help_menu.h"
#include "services/recent_files.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool Save(QWidget* widget, const QString& file) {
    widget->adjustSize();
    const bool ok = widget->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir sandbox;
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (sandbox.path() + "/data").toUtf8());
    QApplication app(argc, argv);
    if (int points = qEnvironmentVariableIntValue("RAVLON_FONT_POINTS"); points > 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(out);
    using namespace ravlon;
    SetSystemFolderOverride((sandbox.path() + "/system").toStdString());
    SetProgramFileOverride((sandbox.path() + "/bin/ravlon").toStdString());
    QDir().mkpath(sandbox.path() + "/bin");
    {
        QFile help(sandbox.path() + "/bin/ravlon.html");
        help.open(QIODevice::WriteOnly);
    }
    SetMessageBoxHandler([](const std::string&, const std::string&, int) { return IDNO; });
    SetConnectionStateHandler([] { return false; });

    TProgId progId;
    progId.SetProductName("Ravlon");
    progId.SetAutoVersion(false);
    progId.SetVersion("1.0.0.0");

    TOstrelAbout about;
    about.SetTitle("Ravlon");
    about.SetVersion("1.0.0.0");
    about.Loaded();
    bool ok = Save(about.Dialog(), out + "/services-about.png");

    QMainWindow window;
    QMenu* fileMenu = window.menuBar()->addMenu("&File");
    fileMenu->addAction("Open recording...");
    fileMenu->addAction("Save recording...");
    fileMenu->addSeparator();
    fileMenu->addAction("E&xit");
    TRecentFiles recent;
    recent.SetMenu(fileMenu);
    recent.SetMaxItems(9);
    recent.SetMenuPos(2);
    recent.SetProgId(&progId);
    recent.Loaded();
    for (const char* name : {"hall-2024-03.ravlon", "studio A.ravlon", "church/nave.ravlon"}) {
        const QString path = sandbox.path() + "/recordings/" + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        recent.Add(path.toStdString());
    }
    ok = Save(fileMenu, out + "/services-file-menu.png") && ok;

    THelpMenu help;
    help.SetMainMenu(window.menuBar());
    help.SetAboutBox(&about);
    help.SetProgId(&progId);
    help.AdditionalCommands = {kRavlonHomePage};
    help.AdditionalMenutexts = {"Ravlon home page"};
    help.SetNewFullVersionURL(kRavlonVersionFileUrl);
    help.SetEnableVersionCheck(true);
    help.Loaded();
    ok = Save(help.HelpMenu(), out + "/services-help-menu.png") && ok;
    window.resize(420, 120);
    ok = Save(window.menuBar(), out + "/services-menu-bar.png") && ok;
    return ok ? 0 : 1;
}
