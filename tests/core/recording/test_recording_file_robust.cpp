// Recording files are untrusted input: whatever their bytes, opening and
// reading end in a clear result (false, Count 0 or EInvalidSMPHeader).
#include "core/recording/recording_file.h"

#include "recording_file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <sys/stat.h>

using namespace ravlon;
using ravlon::testing::HeaderRegion;
using ravlon::testing::LittleEndian;
using ravlon::testing::ReadBytes;
using ravlon::testing::SmpTempDir;
using ravlon::testing::WriteBytes;

namespace {

// Opens the file and reads every channel until Count 0 (bounded); the number
// of samples read, or -1 when the header was rejected.
int64_t OpenAndReadAll(TSMPfile& f, const std::string& name) {
    auto block = std::make_unique<TSMPBlock>();
    try {
        if (!f.open_file(name, true)) return 0;
        int64_t total = 0;
        const int32_t channels = std::min(f.nchans(), TSMPfile::MaxChannels);
        for (int32_t ch = 0; ch < channels; ++ch) {
            for (int i = 0; i < 64; ++i) {
                f.read_block(ch, *block);
                EXPECT_GE(block->Count, 0);
                EXPECT_LE(block->Count, f.ChunknSamples());
                if (block->Count == 0) break;
                total += block->Count;
            }
        }
        return total;
    } catch (const EInvalidSMPHeader&) {
        return -1;
    }
}

} // namespace

TEST(SmpRobust, HeadOutsideTheFile) {
    SmpTempDir tmp;
    const auto name = tmp.path("head.ravlon");
    TSMPfile f;
    WriteBytes(name, HeaderRegion("head=-2\r\n=\r\n", 1024) + LittleEndian({1, 2}));
    EXPECT_FALSE(f.open_file(name, true));
    EXPECT_FALSE(f.IsOpen());

    for (const char* head : {"head=2147483647", "head=99999999999", "head=5000", "head=0"}) {
        WriteBytes(name,
                   HeaderRegion(std::string(head) + "\r\n=\r\n", 1024) + LittleEndian({1, 2}));
        EXPECT_GE(OpenAndReadAll(f, name), 0) << head;
    }
    WriteBytes(name, HeaderRegion("head=2147483647\r\n=\r\n", 1024));
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.DataOffset(), 2147483647);
    f.set_position(0, 2147483647); // 64-bit positions: no overflow
    EXPECT_EQ(f.get_position(0), 2147483647);
    auto block = std::make_unique<TSMPBlock>();
    f.read_block(0, *block);
    EXPECT_EQ(block->Count, 0);
}

TEST(SmpRobust, ChannelCountsOutsideTheTables) {
    SmpTempDir tmp;
    const auto name = tmp.path("nchans.ravlon");
    TSMPfile f;
    WriteBytes(name, HeaderRegion("nchans=0\r\n=\r\n", 1024) + LittleEndian({1, 2}));
    EXPECT_EQ(OpenAndReadAll(f, name), 0);
    WriteBytes(name, HeaderRegion("nchans=-7\r\n=\r\n", 1024) + LittleEndian({1, 2}));
    EXPECT_EQ(OpenAndReadAll(f, name), 0);
    WriteBytes(name, HeaderRegion("nchans=100000\r\n=\r\n", 1024) + LittleEndian({1, 2}));
    try {
        f.open_file(name, true);
        FAIL() << "no exception";
    } catch (const EInvalidSMPHeader& e) {
        EXPECT_EQ(std::string(e.what()),
                  "File header in " + name + "\rHas an invalid \"nchans\" item:\rnchans=100000");
    }
    WriteBytes(name, HeaderRegion("nchans=128\r\n=\r\n", 1024) + std::string(1024, '\x11'));
    EXPECT_EQ(OpenAndReadAll(f, name), 512);
}

TEST(SmpRobust, LongScansAndBadEntries) {
    SmpTempDir tmp;
    const auto name = tmp.path("scan.ravlon");
    TSMPfile f;
    std::string scan;
    for (int i = 0; i < 10000; ++i) scan += "0,";
    WriteBytes(name, HeaderRegion("scan=" + scan + "\r\n=\r\n", 32768) + LittleEndian({1, 2}));
    EXPECT_GE(OpenAndReadAll(f, name), 0); // the line is cut at 255 characters

    std::string many;
    for (int i = 0; i < 513; ++i) many += "0,";
    f.set_item("scan", "0");
    EXPECT_NO_THROW(f.scan_length());
    f.setItems({"scan=" + many});    // one line: cut at 255 characters, still valid
    EXPECT_EQ(f.scan_length(), 125); // "scan=" and 125 times "0,"

    for (const char* bad : {"scan=-1", "scan=200", "scan=1", "scan=;;", "scan=0,1,1"}) {
        WriteBytes(name, HeaderRegion(std::string("nchans=2\r\n") + bad + "\r\n=\r\n", 1024) +
                             LittleEndian({1, 2}));
        EXPECT_EQ(OpenAndReadAll(f, name), -1) << bad;
    }
}

TEST(SmpRobust, GarbageTruncatedAndOddFiles) {
    SmpTempDir tmp;
    const auto name = tmp.path("junk.ravlon");
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 50; ++round) {
        std::string bytes(static_cast<std::size_t>(round * 997 % 40000 + 1), '\0');
        for (auto& b : bytes) b = static_cast<char>(byte(rng));
        WriteBytes(name, bytes);
        TSMPfile f;
        OpenAndReadAll(f, name);
    }

    // A header with no terminator at all, 40000 bytes of text.
    std::string text;
    while (text.size() < 40000) text += "k" + std::to_string(text.size()) + "=v\r\n";
    WriteBytes(name, text);
    TSMPfile f;
    EXPECT_GE(OpenAndReadAll(f, name), 0);
    EXPECT_EQ(f.get_item("k0"), "v");

    // A file cut inside its header, and a data area with an odd byte.
    WriteBytes(name, "head=1024\r\nnch");
    EXPECT_EQ(OpenAndReadAll(f, name), 0);
    WriteBytes(name, HeaderRegion("=\r\n", 1024) + LittleEndian({5, 6}) + "\x07");
    EXPECT_EQ(OpenAndReadAll(f, name), 2);
}

TEST(SmpRobust, NotARegularFile) {
    SmpTempDir tmp;
    TSMPfile f;
    EXPECT_FALSE(f.open_file(tmp.dir().string(), true));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_FALSE(f.open_file(tmp.dir().string(), false));
    EXPECT_FALSE(f.new_file(tmp.dir().string()));
    EXPECT_TRUE(std::filesystem::is_directory(tmp.dir()));

    const auto fifo = tmp.path("fifo");
    if (::mkfifo(fifo.c_str(), 0600) != 0) GTEST_SKIP() << "no FIFO support here";
    EXPECT_FALSE(f.open_file(fifo, true)); // refused, not waited on
}

TEST(SmpRobust, HeaderOfManyShortItemsParses) {
    SmpTempDir tmp;
    const auto name = tmp.path("many.ravlon");
    std::string text;
    for (int i = 0; text.size() < 32000; ++i) text += "L" + std::to_string(i + 1) + "=x\r\n";
    text += "L1=\r\nL1=again\r\nhead=32768\r\n";
    WriteBytes(name, HeaderRegion(text + "=\r\n", 32768));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.Items().front(), "head=32768");
    EXPECT_EQ(f.Items().back(), "L1=again"); // removed, then appended anew
    EXPECT_EQ(f.DataOffset(), 32768);
    EXPECT_EQ(f.get_label(1), "x");
}
