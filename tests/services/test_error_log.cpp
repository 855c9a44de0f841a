// Error log: the switch, the path resolution, run events and entries.
#include "services_fixture.h"

#include "../support/fault_files.h"

#include "platform/appexception.h"
#include "platform/inifile.h"
#include "services/about_box.h"
#include "services/error_log.h"
#include "services/ini_settings.h"

#include <QLabel>
#include <QTest>

#include <memory>
#include <sys/stat.h>

namespace ravlon::test {
namespace {

class ErrorLogTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        savedCwd_ = QDir::currentPath();
        QDir::setCurrent(Dir("cwd"));
    }
    void TearDown() override {
        QDir::setCurrent(savedCwd_);
        ServicesTest::TearDown();
    }
    void SetLogging(bool on) { TOstrelIni().WriteBool("ErrorLog", "LogErrors", on); }
    bool Logging() { return TOstrelIni().ReadBool("ErrorLog", "LogErrors", false); }
    std::string StoredPath() { return TOstrelIni().ReadString("ErrorLog", "LogFileName", ""); }
    std::string BesideProgram() { return Path("prog") + "/OstrelErr.log"; }

private:
    QString savedCwd_;
};

TEST_F(ErrorLogTest, LoggingOffWritesNothingAndOnlyShowsTheException) {
    auto log = std::make_unique<TErrorLog>();
    bool called = false;
    log->OnException = [&](QObject*, const std::string&) { called = true; };
    log->Loaded();
    HandleApplicationException(nullptr, "Division by zero");
    EXPECT_FALSE(called);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Division by zero");
    EXPECT_EQ(messages[0].flags, MB_OK | MB_ICONERROR);
    log.reset();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(BesideProgram())));
    // The path was resolved (the test left no file behind) and stored.
    EXPECT_EQ(StoredPath(), BesideProgram());
    // The handler is gone with the component.
    HandleApplicationException(nullptr, "later");
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(ErrorLogTest, UnwritableStoredPathFallsBackBesideTheProgramAndIsStoredBack) {
    SetLogging(true);
    TOstrelIni().WriteString("ErrorLog", "LogFileName", Path("no/such/dir") + "/x.log");
    TErrorLog log;
    EXPECT_EQ(log.LogFileName(), BesideProgram());
    EXPECT_EQ(StoredPath(), BesideProgram());
}

TEST_F(ErrorLogTest, StoredPathOfAFifoOrAUsersFileIsNeitherOpenedNorRewritten) {
    SetLogging(true);
    const std::string fifo = Path("cwd") + "/log.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string notes = MakeFile("home/notes.txt", "Dear diary,\nno settings here.\n");
    const std::string ini = MakeFile("home/other.ini", "[Other]\nkey=value\n");
    testing::FifoGuard guard(fifo);
    for (const std::string& stored : {fifo, notes}) {
        TOstrelIni().WriteString("ErrorLog", "LogFileName", stored);
        TErrorLog log;
        EXPECT_EQ(log.LogFileName(), BesideProgram()) << stored;
    }
    EXPECT_EQ(ReadAll(notes), "Dear diary,\nno settings here.\n");
    // The test of an existing INI file leaves it as it was, byte for byte.
    EXPECT_TRUE(TErrorLog::IsWritable(ini));
    EXPECT_EQ(ReadAll(ini), "[Other]\nkey=value\n");
    EXPECT_TRUE(TErrorLog::IsWritable(Path("home") + "/new.log"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("home") + "/new.log")));
}

TEST_F(ErrorLogTest, FallsBackToTheCurrentDirectoryThenTheSystemFolder) {
    SetLogging(true);
    const std::string blocker = MakeFile("blocker");
    SetProgramFileOverride(blocker + "/bin/ravlon"); // cannot hold files
    {
        TErrorLog log;
        EXPECT_EQ(log.LogFileName(), Path("cwd") + "/OstrelErr.log");
        EXPECT_EQ(StoredPath(), Path("cwd") + "/OstrelErr.log");
    }
    TOstrelIni().WriteString("ErrorLog", "LogFileName", "");
    QDir::setCurrent(Dir("cwd2"));
    QDir(Dir("cwd2")).removeRecursively(); // the current directory is gone
    TErrorLog log;
    EXPECT_EQ(log.LogFileName(), Path("system") + "/OstrelErr.log");
}

TEST_F(ErrorLogTest, TwoRunsLeaveOneTerminationKeyThatSaysTerminated) {
    SetLogging(true);
    for (int run = 0; run < 2; ++run) {
        TErrorLog log;
        log.Loaded();
        const IniFile file(BesideProgram());
        EXPECT_EQ(
            file.ReadString("Termination", Path("prog") + "/ravlon", "").rfind("Started at ", 0),
            0u);
    }
    const IniFile file(BesideProgram());
    EXPECT_EQ(file.SectionKeys("Termination"), std::vector<std::string>{Path("prog") + "/ravlon"});
    EXPECT_EQ(
        file.ReadString("Termination", Path("prog") + "/ravlon", "").rfind("Terminated at ", 0),
        0u);
}

TEST_F(ErrorLogTest, ExceptionEntryHoldsTheKeysInOrderAndTellsTheUser) {
    SetLogging(true);
    TOstrelAbout about;
    about.SetTitle("Ravlon");
    about.SetVersion("1.0.0.0");
    about.Loaded();
    TErrorLog log;
    log.SetOstrelabout(&about);
    log.SetDebugString("run 3");
    std::string addedPath, addedSection, seenMessage;
    log.OnAddToFile = [&](QObject*, const std::string& path, const std::string& section) {
        addedPath = path;
        addedSection = section;
    };
    log.OnException = [&](QObject*, const std::string& message) { seenMessage = message; };
    log.Loaded();
    HandleApplicationException(&about, "Range check error");

    const IniFile file(BesideProgram());
    const std::vector<std::string> sections = file.SectionNames();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0], "Termination");
    EXPECT_EQ(sections[1].rfind("Exception at ", 0), 0u);
    EXPECT_EQ(file.SectionKeys(sections[1]),
              (std::vector<std::string>{"ExeName", "CurrentUser", "ComputerName", "Application",
                                        "Version", "Revision", "Extra", "Message", "Address",
                                        "DebugString"}));
    EXPECT_EQ(file.ReadString(sections[1], "Message", ""), "Range check error");
    EXPECT_EQ(file.ReadString(sections[1], "Application", ""), "Ravlon");
    EXPECT_EQ(file.ReadString(sections[1], "DebugString", ""), "run 3");
    EXPECT_EQ(file.ReadString(sections[1], "ExeName", ""), Path("prog") + "/ravlon");
    EXPECT_EQ(addedPath, BesideProgram());
    EXPECT_EQ(addedSection, sections[1]);
    EXPECT_EQ(seenMessage, "Range check error");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, "Logfile created");
    EXPECT_EQ(messages[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(messages[0].text, log.SendLogFileMessage() + "\n" + BesideProgram());
    EXPECT_EQ(messages[1].text, "Range check error");

    log.SetSendLogFileRequest(false);
    log.SetShowExceptions(false);
    HandleApplicationException(nullptr, "again");
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(ErrorLogTest, DoubleClickingThePictureTogglesTheSwitch) {
    TOstrelAbout about;
    about.Loaded();
    TErrorLog log;
    log.SetOstrelabout(&about);
    log.Loaded();
    EXPECT_FALSE(Logging());
    QTest::mouseDClick(about.PictureImage(), Qt::LeftButton);
    EXPECT_TRUE(Logging());
    QTest::mouseDClick(about.PictureImage(), Qt::LeftButton);
    EXPECT_FALSE(Logging());
}

TEST_F(ErrorLogTest, NothingWritableLeavesLoggingSilentlyOff) {
    SetLogging(true);
    const std::string blocker = MakeFile("blocker");
    SetProgramFileOverride(blocker + "/bin/ravlon");
    SetSystemFolderOverride(blocker + "/sys");
    QDir::setCurrent(Dir("cwd3"));
    QDir(Dir("cwd3")).removeRecursively();
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(blocker + "/tmp"));
    {
        TErrorLog log;
        EXPECT_EQ(log.LogFileName(), "");
        HandleApplicationException(nullptr, "shown anyway");
    }
    if (savedTmp.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "shown anyway");
}

} // namespace
} // namespace ravlon::test
