// Recording file faults: a disk that fills up while recording, saving to a full
// disk, a FIFO named as a recording. Every failure is reported, says why, and
// what reached the disk stays usable.
#include "core/recording/recording_file.h"

#include "../../support/fault_files.h"
#include "recording_file_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

using namespace ravlon;
using ravlon::testing::LittleEndian;
using ravlon::testing::ReadBytes;
using ravlon::testing::SmallTmpfs;
using ravlon::testing::SmpTempDir;

namespace {

std::unique_ptr<TSMPBlock> Block(int32_t count, int16_t first) {
    auto block = std::make_unique<TSMPBlock>();
    block->Count = count;
    for (int32_t i = 0; i < std::min(count, TSMPfile::BlockSamples); ++i)
        block->Samples[i] = static_cast<int16_t>(first + i);
    return block;
}

} // namespace

TEST(SmpFaults, DiskFullWhileRecordingKeepsWhatWasWrittenAndSaysSo) {
    SmallTmpfs disk(64);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Error();
    const std::string name = disk.Path("run.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    // An odd header size puts the end of the last page inside a sample.
    f.set_headsize(1025);
    f.set_item("pos3", "48000");
    ASSERT_TRUE(f.save_file(""));

    int32_t written = 0;
    bool ok = true;
    while (ok && written < 200000) {
        ok = f.write_block(0, *Block(3000, static_cast<int16_t>(written)));
        if (ok) written += 3000;
    }
    ASSERT_FALSE(ok) << "the 64 KiB disk never filled up";
    EXPECT_EQ(f.LastErrorCode(), ENOSPC);
    EXPECT_NE(f.LastError().find(name), std::string::npos) << f.LastError();
    const int32_t kept = f.get_position(0);
    EXPECT_GE(kept, written);
    EXPECT_LT(kept, written + 3000);
    // No partial sample is left: the file holds exactly the samples counted.
    EXPECT_EQ(std::filesystem::file_size(name), 1025u + 2u * static_cast<unsigned>(kept));
    EXPECT_EQ(f.get_sample_count(0), kept);
    // Later blocks fail too and do not move the position.
    EXPECT_FALSE(f.write_block(0, *Block(1000, 0)));
    EXPECT_EQ(f.get_position(0), kept);
    // What was kept is saved and reads back sample for sample.
    EXPECT_TRUE(f.save_file(""));
    EXPECT_TRUE(f.close_file());
    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_EQ(r.get_item("pos3"), "48000");
    auto in = std::make_unique<TSMPBlock>();
    int32_t n = 0;
    for (r.read_block(0, *in); in->Count > 0; r.read_block(0, *in))
        for (int32_t i = 0; i < in->Count; ++i, ++n)
            ASSERT_EQ(in->Samples[i], static_cast<int16_t>(n)) << "sample " << n;
    EXPECT_EQ(n, kept);
}

TEST(SmpFaults, FullDiskRefusesANewRecordingAndASaveUnderANewName) {
    SmallTmpfs disk(64);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Error();
    disk.FillUp();
    TSMPfile f;
    EXPECT_FALSE(f.new_file(disk.Path("new.ravlon")));
    EXPECT_EQ(f.LastErrorCode(), ENOSPC);

    // Saved under a new name on the full disk: false, and the recording goes
    // on in the file that holds its samples.
    SmpTempDir tmp;
    const std::string name = tmp.path("work.ravlon");
    ASSERT_TRUE(f.new_file(name));
    ASSERT_TRUE(f.write_block(0, *Block(16000, 0)));
    EXPECT_FALSE(f.save_file(disk.Path("copy.ravlon")));
    EXPECT_NE(f.LastError().find("copy.ravlon"), std::string::npos) << f.LastError();
    EXPECT_EQ(f.WorkingName(), name);
    EXPECT_TRUE(f.write_block(0, *Block(100, 0)));
    EXPECT_TRUE(f.close_file());
    EXPECT_EQ(ReadBytes(name).size(), 1024u + 2u * 16100u);
}

TEST(SmpFaults, WritesThatCannotHappenAreReported) {
    SmpTempDir tmp;
    TSMPfile f;
    EXPECT_FALSE(f.write_block(0, *Block(1, 0))); // closed
    EXPECT_EQ(f.LastErrorCode(), EBADF);
    EXPECT_TRUE(f.write_block(0, *Block(0, 0))); // nothing to write
    const std::string name = tmp.path("two.ravlon");
    ASSERT_TRUE(f.new_file(name));
    f.set_nchans(2);
    EXPECT_FALSE(f.write_block(2, *Block(1, 0))); // not in the scan
    EXPECT_FALSE(f.write_block(-1, *Block(1, 0)));
    EXPECT_FALSE(f.write_block(0, *Block(TSMPfile::BlockSamples + 1, 0)));
    EXPECT_EQ(f.get_sample_count(0), 0);
    EXPECT_TRUE(f.write_block(1, *Block(3, 1)));
    EXPECT_EQ(f.get_sample_count(1), 3);
    EXPECT_EQ(f.get_sample_count(0), 3); // the other slots of those frames hold 0
    ASSERT_TRUE(f.close_file());
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_FALSE(f.write_block(0, *Block(1, 0))); // read-only
    EXPECT_EQ(ReadBytes(name).substr(1024), LittleEndian({0, 1, 0, 2, 0, 3}));
}

TEST(SmpFaults, FifoIsNoRecordingAndNeverBlocks) {
    SmpTempDir tmp;
    const std::string fifo = tmp.path("fifo.ravlon");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ravlon::testing::FifoGuard guard(fifo);
    for (bool workingCopy : {false, true}) {
        TSMPfile f;
        f.UseTempFile = workingCopy;
        EXPECT_FALSE(f.open_file(fifo, true)) << workingCopy;
        EXPECT_NE(f.LastError().find("not a regular file"), std::string::npos) << f.LastError();
        EXPECT_FALSE(f.IsOpen());
    }
}
