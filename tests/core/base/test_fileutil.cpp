#include "core/base/errors.h"
#include "core/base/fileutil.h"

#include "../../support/fault_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace ravlon;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() / ("ravlon-fileutil-" + std::to_string(::getpid()));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(TempFiles, UniqueEmptyFilesWithPrefix) {
    TempDir dir;
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    std::string a = MakeTempFile("RAV");
    std::string b = MakeTempFile("RAV");
    ::unsetenv("TMPDIR");
    EXPECT_NE(a, b);
    for (const auto& p : {a, b}) {
        EXPECT_TRUE(fs::exists(p));
        EXPECT_EQ(fs::file_size(p), 0u);
        EXPECT_EQ(fs::path(p).parent_path(), dir.path());
        EXPECT_EQ(fs::path(p).filename().string().rfind("~RAV", 0), 0u);
    }
}

TEST(TempFiles, MissingTmpdirFallsBackToTmp) {
    ::setenv("TMPDIR", "/nonexistent/ravlon", 1);
    std::string p = MakeTempFile("RAV");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(fs::path(p).parent_path(), fs::path("/tmp"));
    EXPECT_TRUE(fs::remove(p));
}

TEST(CopyFileWithDate, CopiesInPiecesAndKeepsTheDate) {
    TempDir dir;
    std::string data(20000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 3);
    { std::ofstream(dir / "src.bin", std::ios::binary) << data; }
    auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(dir / "src.bin", old);
    int pumps = 0;
    SetProcessMessagesHook([&] { ++pumps; });
    EXPECT_TRUE(CopyFileWithDate(dir / "src.bin", dir / "dst.bin"));
    SetProcessMessagesHook(nullptr);
    EXPECT_EQ(ReadAll(dir / "dst.bin"), data);
    EXPECT_EQ(fs::last_write_time(dir / "dst.bin"), fs::last_write_time(dir / "src.bin"));
    // 8192 + 8192 + 3616 bytes and the final empty read, each with two pumps.
    EXPECT_EQ(pumps, 8);

    // The copy overwrites a longer destination completely.
    std::ofstream(dir / "long.bin", std::ios::binary) << std::string(50000, 'x');
    EXPECT_TRUE(CopyFileWithDate(dir / "src.bin", dir / "long.bin"));
    EXPECT_EQ(ReadAll(dir / "long.bin"), data);
}

TEST(CopyFileWithDate, FailuresReportFalse) {
    TempDir dir;
    EXPECT_FALSE(CopyFileWithDate(dir / "missing", dir / "dst"));
    EXPECT_FALSE(fs::exists(dir / "dst"));
    EXPECT_FALSE(CopyFileWithDate(dir.path(), dir / "dst")); // a directory is no file
    std::ofstream(dir / "src", std::ios::binary) << "abc";
    EXPECT_FALSE(CopyFileWithDate(dir / "src", dir / "no" / "such" / "dir"));
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(CopyFileWithDate(dir / "src", "/dev/full"));
    }
}

TEST(CopyFileWithDate, RefusesTheSourceUnderAnotherSpelling) {
    TempDir dir;
    fs::create_directories(dir / "a");
    const fs::path src = dir / "a" / "rec.ravlon";
    std::ofstream(src, std::ios::binary) << "samples";
    fs::create_symlink(src, dir / "link.ravlon");
    fs::create_hard_link(src, dir / "hard.ravlon");
    for (const fs::path& same :
         {dir / "a" / ".." / "a" / "rec.ravlon", dir / "link.ravlon", dir / "hard.ravlon", src}) {
        EXPECT_TRUE(SameFile(src, same)) << same;
        std::string error;
        EXPECT_FALSE(CopyFileWithDate(src, same, &error)) << same;
        EXPECT_NE(error.find("file being copied"), std::string::npos) << error;
        EXPECT_EQ(ReadAll(src), "samples");
    }
    EXPECT_FALSE(SameFile(src, dir / "other"));

    // A destination that is a link to another file: the file is replaced, the link stays.
    std::ofstream(dir / "old.ravlon", std::ios::binary) << "old";
    fs::create_symlink(dir / "old.ravlon", dir / "to-old.ravlon");
    EXPECT_TRUE(CopyFileWithDate(src, dir / "to-old.ravlon"));
    EXPECT_TRUE(fs::is_symlink(dir / "to-old.ravlon"));
    EXPECT_EQ(ReadAll(dir / "old.ravlon"), "samples");
}

TEST(CopyFileWithDate, FifoSourceOrDestinationIsRefusedWithoutBlocking) {
    TempDir dir;
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(dir / "src", std::ios::binary) << "abc";
    ravlon::testing::FifoGuard guard(fifo);
    std::string error;
    EXPECT_FALSE(CopyFileWithDate(fifo, dir / "dst", &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(CopyFileWithDate(dir / "src", fifo, &error));
    EXPECT_TRUE(fs::is_fifo(fifo));
    std::string text;
    EXPECT_FALSE(ReadRegularFile(fifo, text, 100));
    EXPECT_TRUE(ReadRegularFile(dir / "src", text, 2));
    EXPECT_EQ(text, "ab");
}

TEST(CopyFileWithDate, FullDiskKeepsTheOldDestinationAndSaysWhy) {
    ravlon::testing::SmallTmpfs disk(64);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Error();
    TempDir dir;
    const std::string big(200000, 'n');
    std::ofstream(dir / "src", std::ios::binary) << big;
    const std::string dest = disk.Path("saved.ravlon");
    std::ofstream(dest, std::ios::binary) << "the old recording";
    disk.FillUp();
    std::string error;
    EXPECT_FALSE(CopyFileWithDate(dir / "src", dest, &error));
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
    EXPECT_EQ(ReadAll(dest), "the old recording");
    error.clear();
    EXPECT_FALSE(WriteFileAtomically(dest, big, &error));
    EXPECT_NE(error.find(dest), std::string::npos) << error;
    EXPECT_EQ(ReadAll(dest), "the old recording");
    // Nothing half-written is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(disk.Dir()), fs::directory_iterator()), 2);
}

TEST(CodePage850, RoundTripAndUnmappable) {
    EXPECT_EQ(AnsiToOem("head=1024"), "head=1024");
    EXPECT_EQ(AnsiToOem("\xC3\xA4"), "\x84");   // ä
    EXPECT_EQ(AnsiToOem("\xC2\xB5V"), "\xE6V"); // µV
    EXPECT_EQ(AnsiToOem("\xE2\x82\xAC"), "?");  // € is not in code page 850
    EXPECT_EQ(AnsiToOem("a\xFF"
                        "b"),
              "a?b");                                                 // invalid UTF-8
    EXPECT_EQ(OemToAnsi("\x84\xE6\x9C"), "\xC3\xA4\xC2\xB5\xC2\xA3"); // äµ£
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(AnsiToOem(OemToAnsi(all)), all);
    EXPECT_EQ(ToValidUtf8("a\xFF\xC3\xA4\xE2\x82"),
              "a\xEF\xBF\xBD\xC3\xA4\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(LowerCase, AsciiAndLatin) {
    EXPECT_EQ(LowerCaseAnsi("HEAD"), "head");
    EXPECT_EQ(LowerCaseAnsi("/Tmp/Hall.RAVLON"), "/tmp/hall.ravlon");
    EXPECT_EQ(LowerCaseAnsi("\xC3\x84\xC3\x96\xC3\x9C"), "\xC3\xA4\xC3\xB6\xC3\xBC"); // ÄÖÜ
    EXPECT_EQ(LowerCaseAnsi("\xC3\x97"), "\xC3\x97");                                 // × stays
    EXPECT_EQ(LowerCaseAnsi("a\xFFZ"), "a\xFFz");
}

TEST(SystemNames, UserHostAndFolders) {
    EXPECT_FALSE(LoginUserName().empty());
    EXPECT_FALSE(HostComputerName().empty());
    EXPECT_TRUE(fs::is_directory(SystemWindowsDir()));
    EXPECT_EQ(ShortPathOf("/a/b c/d.csv"), "/a/b c/d.csv");
    EXPECT_FALSE(LocalDateTimeText().empty());
}
