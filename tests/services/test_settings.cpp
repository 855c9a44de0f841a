// Settings store: locations, fall-backs, typed reads, identity changes.
#include "services_fixture.h"

#include "platform/inifile.h"
#include "platform/registry.h"
#include "services/ini_settings.h"
#include "services/settings.h"

#include <QFileInfo>

namespace ravlon::test {
namespace {

class SettingTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        progId.SetProductName("Ravlon");
        progId.SetAutoVersion(false);
        progId.SetVersion("1.0.0.0");
        progId.SetCompany("GessumData");
        setting.SetProgId(&progId);
    }
    TProgId progId;
    TSetting setting;
};

TEST_F(SettingTest, RoamingWithFolderUsesCompanyProductVersionFolderAndCreatesIt) {
    setting.SetLocation(slroaming);
    const std::string expected = Path("config") + "/GessumData/Ravlon/1.0.0.0/ravlon.ini";
    EXPECT_EQ(setting.IniFilename(), expected);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(expected)));
    setting.WriteString("Sec", "Name", "value");
    setting.WriteInteger("Sec", "Count", 42);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(expected)).isFile());
    EXPECT_EQ(setting.ReadString("Sec", "Name", "def"), "value");
    EXPECT_EQ(setting.ReadInteger("Sec", "Count", 0), 42);
    EXPECT_EQ(IniFile(expected).ReadString("Sec", "Name", ""), "value");
}

TEST_F(SettingTest, IniFilenameKeepsOnlyTheNameWithIniExtension) {
    setting.SetLocation(slnonroaming);
    setting.SetIniFilename("/somewhere/else/my settings.txt");
    EXPECT_EQ(setting.IniFilename(), Path("data") + "/GessumData/Ravlon/1.0.0.0/my settings.ini");
}

TEST_F(SettingTest, RoamingWithoutFolderFallsBackToTheUsersRegistryKey) {
    SetSpecialFolderLookup([](int) { return std::string(); });
    setting.SetLocation(slroaming);
    EXPECT_EQ(setting.EffectiveLocation(), sluser);
    EXPECT_EQ(setting.IniFilename(), "HKEY_CURRENT_USER");
    setting.WriteString("RecentFiles", "1", "/a/b.ravlon");
    EXPECT_EQ(setting.RegistryKeyPath("RecentFiles"),
              "\\Software\\GessumData\\Ravlon\\1.0.0.0\\RecentFiles");
    const RegistryKey key(RegRoot::CurrentUser,
                          "\\Software\\GessumData\\Ravlon\\1.0.0.0\\RecentFiles");
    EXPECT_EQ(key.ReadString("1").value_or(""), "/a/b.ravlon");
    EXPECT_EQ(setting.ReadString("RecentFiles", "1", ""), "/a/b.ravlon");
}

TEST_F(SettingTest, CommonInsecureUsesInsecureSubfolderOrTheSystemFolder) {
    TSetting setting; // takes the (redirected) system folder at creation
    setting.SetProgId(&progId);
    setting.SetLocation(slcommoninsecure);
    EXPECT_EQ(setting.IniFilename(),
              Path("system") + "/share/GessumData/Ravlon/1.0.0.0/insecure/ravlon.ini");
    SetSpecialFolderLookup([](int) { return std::string(); });
    EXPECT_EQ(setting.EffectiveLocation(), slcommoninsecure);
    EXPECT_EQ(setting.IniFilename(), Path("system") + "/ravlon.ini");
}

TEST_F(SettingTest, CommonAdminWithoutFolderIsTheMachineKeyAndAFailedWriteRaises) {
    SetSpecialFolderLookup([](int) { return std::string(); });
    setting.SetLocation(slcommonadmin);
    EXPECT_EQ(setting.IniFilename(), "HKEY_LOCAL_MACHINE");
    setting.WriteInteger("S", "n", 7);
    EXPECT_EQ(setting.ReadInteger("S", "n", 0), 7);
    EXPECT_EQ(QString::fromStdString(RegistryFileOf(RegRoot::LocalMachine))
                  .startsWith(QString::fromStdString(Path("system"))),
              true);
    // A system folder that cannot hold files (below a plain file) cannot be written.
    const std::string blocker = MakeFile("blocker");
    SetSystemFolderOverride(blocker + "/sys");
    EXPECT_THROW(setting.WriteInteger("S", "n", 8), EIniFileError);
    EXPECT_EQ(setting.ReadInteger("S", "n", -1), -1);
}

TEST_F(SettingTest, StringReadAsIntegerGivesTheDefault) {
    setting.SetLocation(sluser);
    setting.WriteString("S", "text", "12");
    setting.WriteString("S", "word", "abc");
    EXPECT_EQ(setting.ReadInteger("S", "text", -5), -5); // a string value is not an integer
    EXPECT_EQ(setting.ReadInteger("S", "missing", 3), 3);
    setting.SetLocation(slroaming);
    setting.WriteString("S", "word", "abc");
    EXPECT_EQ(setting.ReadInteger("S", "word", 9), 9);
}

TEST_F(SettingTest, EmptyStoredTextReadsAsTheDefault) {
    for (const tsettinglocation location : {sluser, slroaming}) {
        setting.SetLocation(location);
        setting.WriteString("S", "empty", "");
        EXPECT_EQ(setting.ReadString("S", "empty", "fallback"), "fallback") << location;
        EXPECT_EQ(setting.ReadString("S", "missing", "d"), "d") << location;
    }
}

TEST_F(SettingTest, VersionChangeMovesReadsAndWrites) {
    for (const tsettinglocation location : {sluser, slroaming}) {
        progId.SetVersion("1.0.0.0");
        setting.SetLocation(location);
        setting.WriteString("S", "v", "old");
        progId.SetVersion("2.0");
        EXPECT_EQ(setting.ReadString("S", "v", "none"), "none") << location;
        setting.WriteString("S", "v", "new");
        progId.SetVersion("1.0.0.0");
        EXPECT_EQ(setting.ReadString("S", "v", ""), "old") << location;
        progId.SetAutoVersion(true); // reads as "3.0"
        EXPECT_EQ(setting.ReadString("S", "v", "none"), "none") << location;
        progId.SetAutoVersion(false);
    }
}

TEST_F(SettingTest, EraseSectionRemovesOnlyThatSection) {
    for (const tsettinglocation location : {sluser, slroaming}) {
        setting.SetLocation(location);
        setting.WriteString("A", "k", "1");
        setting.WriteString("B", "k", "2");
        setting.EraseSection("A");
        EXPECT_EQ(setting.ReadString("A", "k", ""), "") << location;
        EXPECT_EQ(setting.ReadString("B", "k", ""), "2") << location;
    }
}

TEST_F(SettingTest, MissingProgIdIsReported) {
    TSetting lonely;
    lonely.setObjectName("Setting1");
    try {
        lonely.Loaded();
        FAIL() << "no error";
    } catch (const ESettingError& e) {
        EXPECT_STREQ(e.what(), "Nothing assigned to Setting1.ProgId");
    }
    lonely.SetLocation(slroaming);
    try {
        lonely.ReadString("S", "x", "");
        FAIL() << "no error";
    } catch (const ESettingError& e) {
        EXPECT_STREQ(e.what(), "Nothing assigned to ProgId");
    }
    setting.Loaded(); // has one: no error
}

TEST_F(SettingTest, FileLocationUsesTheNamedFile) {
    setting.SetLocation(slfile);
    const std::string file = Path("named") + "/deep/dir/set.ini";
    setting.SetFilename(file);
    EXPECT_EQ(setting.IniFilename(), file);
    setting.WriteInteger("S", "n", -17);
    EXPECT_EQ(IniFile(file).ReadInteger("S", "n", 0), -17);
}

TEST_F(SettingTest, NewProgIdHasTheDefaultsAndAutoVersion) {
    TProgId fresh;
    EXPECT_EQ(fresh.Company(), "GessumData");
    EXPECT_EQ(fresh.ProductName(), "AppName");
    EXPECT_TRUE(fresh.AutoVersion());
    EXPECT_EQ(fresh.Version(), "3.0");
    fresh.SetAutoVersion(false);
    EXPECT_EQ(fresh.Version(), "1.0");
}

TEST_F(ServicesTest, IniAndOstrelIniUseTheirKeysOrFile) {
    TOstrelIni family;
    family.WriteBool("ErrorLog", "LogErrors", true);
    family.WriteString("ErrorLog", "LogFileName", "/x/y.log");
    const RegistryKey key(RegRoot::CurrentUser, "Software\\GessumData\\Ostrel\\ErrorLog");
    EXPECT_EQ(key.ReadBool("LogErrors"), true);
    EXPECT_TRUE(family.ReadBool("ErrorLog", "LogErrors", false));
    EXPECT_EQ(family.ReadString("ErrorLog", "LogFileName", ""), "/x/y.log");
    EXPECT_EQ(family.ReadString("ErrorLog", "Missing", "d"), "d");

    TIni own(""); // the program's key: SoftWare\GessumData\ravlon
    own.WriteInteger("S", "n", 5);
    EXPECT_EQ(
        RegistryKey(RegRoot::CurrentUser, "\\SOFTWARE\\gessumdata\\Ravlon\\S").ReadInteger("n"), 5);
    EXPECT_EQ(own.ReadInteger("S", "n", 0), 5);

    const std::string file = Dir("log").toStdString() + "/x.log";
    TIni ini(file);
    ini.WriteString("Exception at 2024-05-06 10:11:12", "/usr/bin/ravlon", "Started at now");
    ini.WriteBool("Verify", "Ok", true);
    EXPECT_EQ(IniFile(file).ReadString("Exception at 2024-05-06 10:11:12", "/usr/bin/ravlon", ""),
              "Started at now");
    ini.EraseSection("Verify");
    EXPECT_EQ(IniFile(file).SectionNames(),
              std::vector<std::string>{"Exception at 2024-05-06 10:11:12"});
}

} // namespace
} // namespace ravlon::test
