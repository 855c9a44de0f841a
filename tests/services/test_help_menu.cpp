// Help menu: its order, the shared links, the first-start question and the
// version check against a server on 127.0.0.1.
#include "services_fixture.h"

#include "http_server.h"
#include "platform/registry.h"
#include "services/help_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>

#include <memory>

namespace ravlon::test {
namespace {

class HelpMenuTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        progId.SetProductName("Ravlon");
        progId.SetAutoVersion(false);
        progId.SetVersion("1.0.0.0");
        about.Loaded();
        bar.addMenu("&File");
        bar.addMenu("&View");
    }

    // A help menu with the main window's values, loaded.
    std::unique_ptr<THelpMenu> MakeMenu(const std::string& versionUrl) {
        auto menu = std::make_unique<THelpMenu>();
        menu->SetMainMenu(&bar);
        menu->SetAboutBox(&about);
        menu->SetProgId(&progId);
        menu->AdditionalCommands = {kRavlonHomePage};
        menu->AdditionalMenutexts = {"Ravlon home page"};
        menu->SetNewFullVersionURL(versionUrl);
        menu->SetEnableVersionCheck(true);
        menu->TimeoutMs = 5000;
        menu->TerminateApplication = [this] { ++terminations; };
        menu->Loaded();
        return menu;
    }

    // Marks today as checked, so that Loaded() starts no automatic check.
    void CheckedToday() {
        RegistryKey(RegRoot::CurrentUser, "\\Software\\GessumData\\Ravlon")
            .WriteInteger("LastNewVersionCheckDate", TodayDayNumber());
    }
    int32_t LastCheck() {
        return RegistryKey(RegRoot::CurrentUser, "\\Software\\GessumData\\Ravlon")
            .ReadInteger("LastNewVersionCheckDate")
            .value_or(0);
    }

    static std::vector<std::string> Texts(const QMenu* menu) {
        std::vector<std::string> texts;
        for (QAction* a : menu->actions())
            texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        return texts;
    }

    TProgId progId;
    TOstrelAbout about;
    QMenuBar bar;
    int terminations = 0;
};

TEST_F(HelpMenuTest, OrderWithAHelpFile) {
    MakeFile("prog/ravlon.html", "<html></html>");
    CheckedToday();
    auto menu = MakeMenu(kRavlonVersionFileUrl);
    EXPECT_EQ(menu->HelpFile(), Path("prog") + "/ravlon.html");
    EXPECT_EQ(Texts(menu->HelpMenu()),
              (std::vector<std::string>{"&Help...", "-", "Ravlon home page", "Gessum Data Web",
                                        "E-mail Gessum Data", "Check for new version now",
                                        "Check for new version automatically", "-", "A&bout..."}));
    EXPECT_EQ(menu->HelpItem()->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(menu->AutoCheckItem()->isChecked());
    // Appended at the end of the menu bar (MenuPos 100 > its items).
    ASSERT_EQ(bar.actions().size(), 3);
    EXPECT_EQ(bar.actions().last()->text().toStdString(), "&Help");
    menu->HelpItem()->trigger();
    menu->HelpMenu()->actions()[2]->trigger();
    EXPECT_EQ(opened, (std::vector<std::string>{Path("prog") + "/ravlon.html", kRavlonHomePage}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(HelpMenuTest, OrderWithoutAHelpFileAndTheHelpDirectoryFallBack) {
    CheckedToday();
    auto menu = MakeMenu(kRavlonVersionFileUrl);
    EXPECT_EQ(menu->HelpFile(), "");
    EXPECT_EQ(Texts(menu->HelpMenu()),
              (std::vector<std::string>{"Ravlon home page", "Gessum Data Web", "E-mail Gessum Data",
                                        "Check for new version now",
                                        "Check for new version automatically", "-", "A&bout..."}));
    // Installed: the manual where cmake --install puts it.
    MakeFile("share/doc/ravlon/ravlon.html", "<html></html>");
    EXPECT_EQ(THelpMenu().HelpFile(), Path("share/doc/ravlon") + "/ravlon.html");
    MakeFile("help/ravlon.html", "<html></html>");
    EXPECT_EQ(THelpMenu().HelpFile(), Path("help") + "/ravlon.html");
}

TEST_F(HelpMenuTest, WithoutAProgramForHtmlHelpSaysWhereTheManualIs) {
    MakeFile("prog/ravlon.html", "<html></html>");
    CheckedToday();
    auto menu = MakeMenu("");
    SetShellOpenHandler([](const std::string&) { return false; });
    menu->HelpItem()->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Help");
    EXPECT_NE(messages[0].text.find("\n" + Path("prog") + "/ravlon.html\n"), std::string::npos)
        << messages[0].text;
}

TEST_F(HelpMenuTest, SharedLinksAreWrittenOnceAndAHandAddedLinkAppears) {
    CheckedToday();
    MakeMenu("");
    const RegistryKey webMenu(RegRoot::LocalMachine, "\\Software\\GessumData\\WebMenu");
    EXPECT_EQ(webMenu.ReadString("MenuDate").value_or(""), "20020523");
    RegistryKey items(RegRoot::LocalMachine, "\\Software\\GessumData\\WebMenu\\items");
    items.DeleteValue("E-mail Gessum Data");
    items.WriteString("Forum", "https://forum.gessumdata.example/");
    auto menu = MakeMenu("");
    const std::vector<std::string> texts = Texts(menu->HelpMenu());
    // No version check without an address; the deleted link stays deleted.
    EXPECT_EQ(texts, (std::vector<std::string>{"Ravlon home page", "Gessum Data Web", "Forum", "-",
                                               "A&bout..."}));
    menu->HelpMenu()->actions()[2]->trigger();
    EXPECT_EQ(opened.back(), "https://forum.gessumdata.example/");
}

TEST_F(HelpMenuTest, MachineKeyThatCannotBeWrittenLeavesOnlyTheOwnLinks) {
    CheckedToday();
    const std::string blocker = MakeFile("blocker");
    SetSystemFolderOverride(blocker + "/sys");
    auto menu = MakeMenu("");
    EXPECT_EQ(Texts(menu->HelpMenu()),
              (std::vector<std::string>{"Ravlon home page", "-", "A&bout..."}));
}

TEST_F(HelpMenuTest, InsertedAtMenuPos) {
    CheckedToday();
    auto menu = std::make_unique<THelpMenu>();
    menu->SetMainMenu(&bar);
    menu->SetAboutBox(&about);
    menu->SetMenuPos(1);
    menu->Loaded();
    EXPECT_EQ(bar.actions()[1]->text().toStdString(), "&Help");
}

TEST_F(HelpMenuTest, FirstStartAsksAndNoSkipsTodaysCheck) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "2.0.0.0\nhttps://www.gessumdata.example/ravlon/download\n\nNew!\n";
    answer = IDNO;
    auto menu = MakeMenu(server.Url());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Version check");
    EXPECT_EQ(messages[0].text,
              "Ravlon checks for new versions automatically when connected to the Internet\n"
              "(this feature can be permanently disabled on the help menu).\n\n"
              "Do you want to check for a new version now?");
    EXPECT_EQ(messages[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(LastCheck(), TodayDayNumber());
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests, 0);
}

TEST_F(HelpMenuTest, FirstStartYesChecksOnceTheEventLoopRuns) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "2.0.0.0\nhttps://www.gessumdata.example/ravlon/download\n-\nRavlon 2 is out.\n";
    answer = IDYES;
    auto menu = MakeMenu(server.Url());
    EXPECT_EQ(server.requests, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(server.requests, 1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].caption, "New version available");
    EXPECT_EQ(messages[1].text, "Ravlon 2 is out.\n");
    EXPECT_EQ(opened, std::vector<std::string>{"https://www.gessumdata.example/ravlon/download"});
    EXPECT_EQ(terminations, 1); // the automatic check closes on download
    EXPECT_EQ(LastCheck(), TodayDayNumber());
}

TEST_F(HelpMenuTest, SameVersionWithATrailingBlankIsNoNewVersion) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "1.0.0.0 \r\nhttps://www.gessumdata.example/d\r\n\r\nmsg";
    CheckedToday();
    auto menu = MakeMenu(server.Url());
    menu->CheckForNewVersion(false, true);
    EXPECT_TRUE(messages.empty()); // automatic: silent
    menu->CheckNowItem()->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "There is currently no new version available.\nYou are already "
                                "running the latest version: 1.0.0.0");
    EXPECT_EQ(messages[0].caption, "No new version");
    EXPECT_EQ(messages[0].flags, MB_OK | MB_ICONINFORMATION);
    EXPECT_TRUE(opened.empty());
}

TEST_F(HelpMenuTest, OtherVersionAsksAndNoOpensNothing) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "0.9\nhttps://www.gessumdata.example/d\nreserved\n<b>older</b> but different";
    CheckedToday();
    auto menu = MakeMenu(server.Url());
    answer = IDNO;
    menu->CheckNowItem()->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "New version available");
    EXPECT_EQ(messages[0].text, "<b>older</b> but different"); // shown as plain text
    EXPECT_EQ(messages[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_TRUE(opened.empty());
    answer = IDYES;
    menu->CheckNowItem()->trigger();
    EXPECT_EQ(opened, std::vector<std::string>{"https://www.gessumdata.example/d"});
    EXPECT_EQ(terminations, 0); // the manual check keeps the program running
}

TEST(VersionMessage, LongTextsAreCutToAReadableSize) {
    std::string text;
    for (int i = 0; i < 30; ++i) text += std::string(300, 'x') + "\r\n";
    const std::string line = std::string(117, 'x') + "...\n";
    std::string expected;
    for (int i = 0; i < 20; ++i) expected += line;
    EXPECT_EQ(ShortenForMessageBox(text), expected + "...");
    // Texts that fit stay as they are; a multi-byte character at the cut stays whole.
    EXPECT_EQ(ShortenForMessageBox("a\r\nb\rc\n"), "a\r\nb\rc\n");
    EXPECT_EQ(ShortenForMessageBox("\xC3\xA4\xC3\xA4\xC3\xA4", 20, 5), "\xC3\xA4...");
}

TEST_F(HelpMenuTest, ServerDownIsReportedOnlyByTheManualCheck) {
    CheckedToday();
    auto menu = MakeMenu(DeadUrl());
    menu->CheckForNewVersion(false, true);
    EXPECT_TRUE(messages.empty());
    menu->CheckNowItem()->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "Cannot connect to the update server.\nCheck your Internet connection.");
    EXPECT_EQ(messages[0].caption, "New version check");
    EXPECT_EQ(messages[0].flags, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(HelpMenuTest, DownloadAddressesOtherThanWebAreNeverOpened) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    CheckedToday();
    auto menu = MakeMenu(server.Url());
    answer = IDYES;
    for (const char* address :
         {"file:///usr/bin/xterm", "javascript:alert(1)", "/usr/bin/xterm", "mailto:x@y.example"}) {
        messages.clear();
        server.body = QByteArray("9.9\n") + address + "\n\nGet it";
        menu->CheckNowItem()->trigger();
        ASSERT_EQ(messages.size(), 1u) << address;
        EXPECT_EQ(messages[0].caption, "New version check") << address;
        messages.clear();
        menu->CheckForNewVersion(false, true);
        EXPECT_TRUE(messages.empty()) << address;
    }
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(terminations, 0);
}

TEST_F(HelpMenuTest, OversizedVersionFileIsRefused) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "2.0\nhttps://www.gessumdata.example/d\n\n" + QByteArray(70 * 1024, 'x');
    CheckedToday();
    auto menu = MakeMenu(server.Url());
    answer = IDYES;
    menu->CheckNowItem()->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "New version check");
    EXPECT_TRUE(opened.empty());
}

TEST_F(HelpMenuTest, UncheckedAutomaticItemStopsEveryCheck) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "2.0\nhttps://www.gessumdata.example/d\n\nnew";
    CheckedToday();
    auto menu = MakeMenu(server.Url());
    menu->AutoCheckItem()->trigger(); // unchecks and stores
    EXPECT_FALSE(menu->AutoCheckItem()->isChecked());
    EXPECT_EQ(RegistryKey(RegRoot::CurrentUser, "\\Software\\GessumData\\Ravlon")
                  .ReadBool("AutoCheckForNewVersion"),
              false);
    menu->CheckNowItem()->trigger();
    EXPECT_EQ(server.requests, 0);
    EXPECT_TRUE(messages.empty());
    // The next start reads the stored state.
    auto second = MakeMenu(server.Url());
    EXPECT_FALSE(second->AutoCheckItem()->isChecked());
}

TEST_F(HelpMenuTest, OfflineSkipsOnlyTheAutomaticCheck) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "1.0.0.0\n";
    SetConnectionStateHandler([] { return false; });
    CheckedToday();
    auto menu = MakeMenu(server.Url());
    menu->CheckForNewVersion(false, true);
    EXPECT_EQ(server.requests, 0);
    menu->CheckNowItem()->trigger();
    EXPECT_EQ(server.requests, 1);
}

} // namespace
} // namespace ravlon::test
