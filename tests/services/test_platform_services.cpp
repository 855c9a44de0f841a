// Platform stand-ins of the services: registry names and types, INI files,
// drive types from a mount table, web addresses, the HTTP GET limits and the
// version file format.
#include "services_fixture.h"

#include "../support/fault_files.h"
#include "http_server.h"
#include "platform/inifile.h"
#include "platform/registry.h"
#include "services/help_menu.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace ravlon::test {
namespace {

TEST_F(ServicesTest, RegistryKeepsTypesAndOddNamesAndIgnoresCase) {
    RegistryKey key(RegRoot::CurrentUser, "\\Software\\Test\\Key");
    EXPECT_FALSE(key.Exists());
    key.WriteString("a/b\\c%d", "text with = and ; and \"quotes\"");
    key.WriteInteger("Number", -123456);
    key.WriteBool("Flag", true);
    const RegistryKey other(RegRoot::CurrentUser, "software\\TEST\\key");
    EXPECT_TRUE(other.Exists());
    EXPECT_EQ(other.ReadString("A/B\\C%D").value_or(""), "text with = and ; and \"quotes\"");
    EXPECT_EQ(other.ReadInteger("number"), -123456);
    EXPECT_EQ(other.ReadBool("FLAG"), true);
    EXPECT_FALSE(other.ReadInteger("a/b\\c%d").has_value()); // a string is no integer
    EXPECT_FALSE(other.ReadString("Number").has_value());
    // Overwriting with another spelling keeps one value.
    key.WriteInteger("NUMBER", 5);
    EXPECT_EQ(key.ValueNames().size(), 3u);
    EXPECT_EQ(key.ReadInteger("Number"), 5);
    // Machine and user keys are separate.
    EXPECT_FALSE(RegistryKey(RegRoot::LocalMachine, "\\Software\\Test\\Key").Exists());
    RegistryKey(RegRoot::CurrentUser, "\\Software\\Test").DeleteKey();
    EXPECT_FALSE(other.Exists());
}

TEST_F(ServicesTest, IniFileReadsDefaultsAndRefusesAMissingDirectory) {
    const std::string file = Path("ini") + "/settings.ini";
    Dir("ini");
    IniFile ini(file);
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def"); // no file yet
    ini.WriteString("S", "text", "line one\nline two");
    ini.WriteString("S", "number", "0x1F");
    ini.WriteString("S", "word", "twelve");
    EXPECT_EQ(ini.ReadString("S", "text", ""), "line one line two");
    EXPECT_EQ(ini.ReadInteger("S", "word", 7), 7);
    EXPECT_EQ(ini.ReadInteger("s", "NUMBER", 0), 31); // names compare without case
    EXPECT_EQ(ini.SectionKeys("S"), (std::vector<std::string>{"text", "number", "word"}));
    EXPECT_THROW(IniFile(Path("missing") + "/dir/x.ini").WriteString("S", "k", "v"), EIniFileError);
}

TEST_F(ServicesTest, IniFileOnAFullDiskRaisesAndKeepsTheOldFile) {
    testing::SmallTmpfs disk(64);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Error();
    IniFile ini(disk.Path("settings.ini"));
    ini.WriteString("S", "kept", "yes");
    const std::string before = ReadAll(ini.FileName());
    disk.FillUp();
    try {
        ini.WriteString("S", "long", std::string(100000, 'x'));
        ADD_FAILURE() << "a write on a full disk passed";
    } catch (const EIniFileError& e) {
        EXPECT_NE(std::string(e.what()).find(std::strerror(ENOSPC)), std::string::npos) << e.what();
    }
    EXPECT_THROW(ini.EraseSection("Other"), EIniFileError);
    EXPECT_EQ(ReadAll(ini.FileName()), before);
    EXPECT_EQ(ini.ReadString("S", "kept", ""), "yes");
}

TEST_F(ServicesTest, IniFileNeitherBlocksOnNorWritesThroughAFifo) {
    const std::string fifo = Path("settings.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testing::FifoGuard guard(fifo);
    IniFile ini(fifo);
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_THROW(ini.WriteString("S", "k", "v"), EIniFileError);
    EXPECT_FALSE(ini.IsWritable());
    struct stat st {};
    EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)); // not replaced
}

TEST(DriveType, MountTableDecidesTheTypeOfTheLongestMatchingMount) {
    const std::string table = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                              "30 22 0:5 / /mnt/nas rw - nfs4 server:/export rw\n"
                              "31 22 0:6 / /mnt/share rw - cifs //srv/share rw\n"
                              "32 22 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
                              "33 22 0:7 / /tmp rw - tmpfs tmpfs rw\n"
                              "34 22 0:8 / /mnt/with\\040blank rw - fuse.sshfs me@host: rw\n"
                              "35 22 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n"
                              "36 22 0:9 / /proc rw - proc proc rw\n";
    const std::string noSys = "/nonexistent-sys-block";
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/home/me/a.ravlon", noSys), DriveType::Fixed);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/mnt/nas/a.ravlon", noSys), DriveType::Remote);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/mnt/share/x", noSys), DriveType::Remote);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/mnt/nasty/x", noSys), DriveType::Fixed);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/media/cd/a.ravlon", noSys), DriveType::CDROM);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/tmp/a", noSys), DriveType::RAMDisk);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/mnt/with blank/a", noSys), DriveType::Remote);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/proc/1", noSys), DriveType::Unknown);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "relative/a", noSys), DriveType::NoRootDir);
    EXPECT_EQ(DriveTypeFromMountInfo("garbage\n\n- -\n", "/a", noSys), DriveType::Unknown);
}

TEST_F(ServicesTest, RemovableBlockDeviceIsRecognised) {
    const std::string sys = Path("sysblock");
    MakeFile("sysblock/sdb/removable", "1\n");
    MakeFile("sysblock/sda/removable", "0\n");
    const std::string table = "22 1 8:1 / / rw - ext4 /dev/sda rw\n"
                              "35 22 8:17 / /media/stick rw - vfat /dev/sdb rw\n";
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/media/stick/a", sys), DriveType::Removable);
    EXPECT_EQ(DriveTypeFromMountInfo(table, "/home/a", sys), DriveType::Fixed);
}

TEST(WebAddress, OnlyHttpAndHttpsWithAHostCount) {
    EXPECT_TRUE(IsWebAddress("https://www.gessumdata.example/ravlon/download"));
    EXPECT_TRUE(IsWebAddress("HTTP://127.0.0.1:8080/x"));
    EXPECT_FALSE(IsWebAddress("file:///etc/passwd"));
    EXPECT_FALSE(IsWebAddress("javascript:alert(1)"));
    EXPECT_FALSE(IsWebAddress("mailto:a@b.example"));
    EXPECT_FALSE(IsWebAddress("/usr/bin/xterm"));
    EXPECT_FALSE(IsWebAddress("http:///nohost"));
    EXPECT_FALSE(IsWebAddress(""));
}

TEST(VersionFile, LinesAreSplitOnAnyRunOfLineBreaks) {
    const VersionFile f =
        ParseVersionFile("1.2.0.0 \r\n\r\nhttps://x.example/d\n\n\rreserved\r\rLine 1\r\nLine 2\n");
    EXPECT_EQ(f.version, "1.2.0.0 ");
    EXPECT_EQ(f.downloadUrl, "https://x.example/d");
    EXPECT_EQ(f.reserved, "reserved");
    EXPECT_EQ(f.message, "Line 1\r\nLine 2\n");
    const VersionFile shortFile = ParseVersionFile("2.0");
    EXPECT_EQ(shortFile.version, "2.0");
    EXPECT_EQ(shortFile.downloadUrl, "");
    EXPECT_EQ(shortFile.message, "");
    EXPECT_EQ(TrimBlanks(" \t1.0.0.0 \r"), "1.0.0.0");
    EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(HttpGet, FetchesRefusesLargeBodiesBadStatusOtherSchemesAndSilence) {
    CannedHttpServer server;
    if (!server.Listening()) GTEST_SKIP() << "cannot listen on 127.0.0.1";
    server.body = "1.0.0.0\n";
    HttpGetResult r = HttpGet(server.Url(), 5000, 64 * 1024);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.body, "1.0.0.0\n");

    server.body = QByteArray(64 * 1024, 'a');
    EXPECT_TRUE(HttpGet(server.Url(), 5000, 64 * 1024).ok); // exactly the limit
    server.body += 'b';
    r = HttpGet(server.Url(), 5000, 64 * 1024);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.body.empty());

    server.body = "gone";
    server.status = 404;
    EXPECT_FALSE(HttpGet(server.Url(), 5000).ok);

    EXPECT_FALSE(HttpGet("file:///etc/hostname", 5000).ok);
    EXPECT_FALSE(HttpGet(DeadUrl(), 5000).ok);

    server.status = 200;
    server.silent = true;
    r = HttpGet(server.Url(), 300);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(server.requests, 5);
}

} // namespace
} // namespace ravlon::test
