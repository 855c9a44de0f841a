#include "core/base/errors.h"
#include "core/base/fileutil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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
