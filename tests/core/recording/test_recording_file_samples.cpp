// Recording sample access: scan tables, interleaving, block transfers, byte
// order, positions, and round trips with files written by hand.
#include "core/recording/recording_file.h"

#include "recording_file_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

using namespace ravlon;
using ravlon::testing::BigEndian;
using ravlon::testing::HeaderRegion;
using ravlon::testing::LittleEndian;
using ravlon::testing::ReadBytes;
using ravlon::testing::SmpTempDir;
using ravlon::testing::WriteBytes;

namespace {

std::unique_ptr<TSMPBlock> Block(const std::vector<int16_t>& samples) {
    auto block = std::make_unique<TSMPBlock>();
    block->Count = static_cast<int32_t>(samples.size());
    std::copy(samples.begin(), samples.end(), block->Samples);
    return block;
}

std::vector<int16_t> Read(TSMPfile& f, int32_t channel) {
    auto block = std::make_unique<TSMPBlock>();
    f.read_block(channel, *block);
    return std::vector<int16_t>(block->Samples, block->Samples + block->Count);
}

TSMPScan::BuildResult Build(TSMPScan& scan, const char* text, int32_t nchans) {
    return scan.build(text != nullptr, text != nullptr ? text : "", nchans);
}

} // namespace

TEST(SmpScan, SeparatorsAndValidity) {
    using R = TSMPScan::BuildResult;
    TSMPScan s;
    for (const char* text : {"0 1", "0;1", "0,1", " x0--1y "}) {
        ASSERT_EQ(Build(s, text, 2), R::Ok) << text;
        EXPECT_EQ(s.length(), 2);
        EXPECT_EQ(s.channel(0), 0);
        EXPECT_EQ(s.channel(1), 1);
        EXPECT_EQ(s.step(1), 2);
        EXPECT_EQ(s.first(1), 1);
    }
    EXPECT_EQ(Build(s, "0,0,1", 2), R::Invalid);
    ASSERT_EQ(Build(s, "0,1,0,1", 2), R::Ok);
    EXPECT_EQ(s.step(0), 2);
    ASSERT_EQ(Build(s, "0,1,2", 2), R::Ok); // slot 2 is skipped
    EXPECT_EQ(s.step(0), 3);
    EXPECT_EQ(s.step(2), 0);
    EXPECT_EQ(s.first(2), 2);
    EXPECT_EQ(Build(s, "1", 2), R::MissingChannel);
    EXPECT_EQ(Build(s, nullptr, 3), R::Ok); // no "scan" item: 0 .. nchans-1
    EXPECT_EQ(s.length(), 3);
    EXPECT_EQ(s.channel(2), 2);
    EXPECT_EQ(s.channel(3), -1);
    EXPECT_EQ(s.channel(-1), -1);
    EXPECT_EQ(Build(s, "0,128", 1), R::Invalid);
    EXPECT_EQ(Build(s, "0,99999999999", 1), R::Invalid); // not an Integer: -1
    EXPECT_EQ(Build(s, ",,,", 1), R::MissingChannel);
    EXPECT_EQ(s.step(-1), 0);
    EXPECT_EQ(s.first(1000), -1);

    std::string many;
    for (int i = 0; i < 512; ++i) many += "0,";
    EXPECT_EQ(s.build(true, many, 1), R::Ok);
    EXPECT_EQ(s.length(), 512);
    many += "0";
    EXPECT_EQ(s.build(true, many, 1), R::TooManySlots);
    EXPECT_EQ(s.length(), 0);
}

TEST(SmpSamples, InvalidScanRaisesWithItsMessageOnOpenAndOnEveryUse) {
    SmpTempDir tmp;
    const auto name = tmp.path("bad.ravlon");
    WriteBytes(name, HeaderRegion("nchans=2\r\nscan=0,0,1\r\n=\r\n", 1024));
    TSMPfile f;
    try {
        f.open_file(name, true);
        FAIL() << "no exception";
    } catch (const EInvalidSMPHeader& e) {
        EXPECT_EQ(std::string(e.what()),
                  "File header in " + name + "\rHas an invalid \"scan\" item:\rscan=0,0,1");
    }
    EXPECT_TRUE(f.IsOpen()); // the caller decides what to do with it
    EXPECT_THROW(f.scan_length(), EInvalidSMPHeader);
    auto block = std::make_unique<TSMPBlock>();
    EXPECT_THROW(f.read_block(0, *block), EInvalidSMPHeader);
    f.set_item("scan", "0 1");
    EXPECT_EQ(f.scan_length(), 2);
    EXPECT_EQ(f.get_scan_text(), "0 1");
    EXPECT_TRUE(f.close_file());

    WriteBytes(name, HeaderRegion("nchans=129\r\n=\r\n", 1024));
    EXPECT_THROW(f.open_file(name, true), EInvalidSMPHeader);
}

TEST(SmpSamples, TwoChannelsInterleaveAndReadSeparately) {
    SmpTempDir tmp;
    const auto name = tmp.path("two.ravlon");
    WriteBytes(name, HeaderRegion("sftot=32000\r\nnchans=2\r\nscan=0,1\r\n=\r\n", 1024) +
                         LittleEndian({10, -10, 11, -11, 12, -12, 13, -13}));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(Read(f, 1), (std::vector<int16_t>{-10, -11, -12, -13}));
    EXPECT_EQ(Read(f, 1), std::vector<int16_t>{});
    EXPECT_EQ(Read(f, 0), (std::vector<int16_t>{10, 11, 12, 13}));
    EXPECT_DOUBLE_EQ(f.channel_rate(1), 16000);
    EXPECT_DOUBLE_EQ(f.channel_rate(5), 0);
    EXPECT_EQ(Read(f, 5), std::vector<int16_t>{}); // not in the scan
    EXPECT_EQ(Read(f, -1), std::vector<int16_t>{});
    EXPECT_EQ(Read(f, 128), std::vector<int16_t>{});
}

TEST(SmpSamples, WriteOfOneChannelKeepsTheOther) {
    SmpTempDir tmp;
    const auto name = tmp.path("rmw.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.set_nchans(2);
    ASSERT_TRUE(f.save_file(""));
    f.write_block(1, *Block({101, 102, 103}));
    EXPECT_EQ(ReadBytes(name).substr(1024), LittleEndian({0, 101, 0, 102, 0, 103}));
    f.write_block(0, *Block({-1, -2, -3, -4}));
    EXPECT_EQ(ReadBytes(name).substr(1024), LittleEndian({-1, 101, -2, 102, -3, 103, -4, 0}));
    EXPECT_EQ(f.get_position(0), 4);
    EXPECT_EQ(f.get_position(1), 3);

    // A channel 2 that is not in the scan writes nothing.
    f.write_block(2, *Block({7}));
    EXPECT_EQ(ReadBytes(name).size(), 1024u + 16u);
    // Count <= 0 writes nothing; Count above the block size is held to it.
    auto none = Block({5});
    none->Count = 0;
    f.write_block(0, *none);
    none->Count = -3;
    f.write_block(0, *none);
    EXPECT_EQ(ReadBytes(name).size(), 1024u + 16u);
}

TEST(SmpSamples, LongChannelReadsInChunks) {
    SmpTempDir tmp;
    const auto name = tmp.path("long.ravlon");
    std::vector<int16_t> samples(40000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 7);
    WriteBytes(name, HeaderRegion("=\r\n", 1024) + LittleEndian(samples));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.ChunknSamples(), 16384);
    std::vector<int16_t> all;
    std::vector<int32_t> counts;
    for (int i = 0; i < 4; ++i) {
        auto got = Read(f, 0);
        counts.push_back(static_cast<int32_t>(got.size()));
        all.insert(all.end(), got.begin(), got.end());
    }
    EXPECT_EQ(counts, (std::vector<int32_t>{16384, 16384, 7232, 0}));
    EXPECT_EQ(all, samples);
}

TEST(SmpSamples, MsbFirstSwapsOnReadAndWrite) {
    SmpTempDir tmp;
    const auto name = tmp.path("msb.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.set_msbfirst(true);
    ASSERT_TRUE(f.save_file(""));
    const std::vector<int16_t> values = {0x0102, -2, 32767, -32768};
    f.write_block(0, *Block(values));
    EXPECT_EQ(ReadBytes(name).substr(1024), BigEndian(values));
    f.set_position(0, 0);
    EXPECT_EQ(Read(f, 0), values);
    f.close_file();
    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_TRUE(r.msbfirst());
    EXPECT_EQ(Read(r, 0), values);
}

TEST(SmpSamples, ChunknSamplesIsClamped) {
    TSMPfile f;
    f.setChunknSamples(0);
    EXPECT_EQ(f.ChunknSamples(), 1);
    f.setChunknSamples(-5);
    EXPECT_EQ(f.ChunknSamples(), 1);
    f.setChunknSamples(20000);
    EXPECT_EQ(f.ChunknSamples(), 16384);
    f.setChunknSamples(256);
    f.clear();
    EXPECT_EQ(f.ChunknSamples(), 16384);
}

TEST(SmpSamples, PositionsRoundTripForEveryScan) {
    SmpTempDir tmp;
    const auto name = tmp.path("pos.ravlon");
    for (const char* scan : {"0,1", "1,0", "0,1,0,1", "0,1,2", "2,0,1,3"}) {
        TSMPfile f;
        ASSERT_TRUE(f.new_file(name));
        f.set_nchans(2);
        f.set_item("scan", scan);
        for (int32_t ch = 0; ch < 2; ++ch) {
            if (f.scan_step(ch) == 0) continue;
            for (int32_t n : {0, 1, 5, 1000, 2147483647}) {
                f.set_position(ch, n);
                EXPECT_EQ(f.get_position(ch), n) << scan << " channel " << ch;
            }
        }
        f.set_position(7, 100); // not in the scan: at the start of the data
        EXPECT_EQ(f.get_position(7), 0);
        f.set_position(0, -4);
        EXPECT_EQ(f.get_position(0), 0);
        f.close_file();
        EXPECT_EQ(f.get_position(0), 0);
    }
}

TEST(SmpSamples, SetPositionReadsFromThere) {
    SmpTempDir tmp;
    const auto name = tmp.path("seek.ravlon");
    WriteBytes(name, HeaderRegion("nchans=2\r\n=\r\n", 1024) +
                         LittleEndian({0, 100, 1, 101, 2, 102, 3, 103, 4, 104}));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    f.setChunknSamples(2);
    f.set_position(1, 3);
    EXPECT_EQ(Read(f, 1), (std::vector<int16_t>{103, 104}));
    EXPECT_EQ(f.get_position(1), 5);
    EXPECT_EQ(Read(f, 0), (std::vector<int16_t>{0, 1}));
    EXPECT_EQ(Read(f, 0), (std::vector<int16_t>{2, 3}));
    EXPECT_EQ(Read(f, 0), (std::vector<int16_t>{4}));
    EXPECT_EQ(Read(f, 0), std::vector<int16_t>{});
}

TEST(SmpSamples, ClosedOrReadOnlyFilesTransferNothing) {
    SmpTempDir tmp;
    TSMPfile f;
    auto block = Block({1, 2, 3});
    f.read_block(0, *block);
    EXPECT_EQ(block->Count, 0);
    EXPECT_EQ(block->Samples[0], 0); // cleared
    f.write_block(0, *Block({1}));

    const auto name = tmp.path("nch0.ravlon");
    WriteBytes(name, HeaderRegion("nchans=0\r\n=\r\n", 1024) + LittleEndian({1, 2}));
    ASSERT_TRUE(f.open_file(name, false));
    EXPECT_EQ(Read(f, 0), std::vector<int16_t>{});
    f.write_block(0, *Block({9}));
    EXPECT_EQ(ReadBytes(name).size(), 1028u);
}

TEST(SmpSamples, RecordingRoundTripIsSampleExact) {
    SmpTempDir tmp;
    const auto name = tmp.path("trip.ravlon");
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<int16_t> ch0(70001), ch1(70001);
    for (auto& s : ch0) s = static_cast<int16_t>(dist(rng));
    for (auto& s : ch1) s = static_cast<int16_t>(dist(rng));
    {
        TSMPfile w;
        ASSERT_TRUE(w.new_file(name));
        w.insert_nonpresent_defaults();
        w.set_nchans(2);
        w.set_sftot(96000);
        ASSERT_TRUE(w.save_file(""));
        // Buffers of varying size, channel 1 first, as a recorder would deliver them.
        for (std::size_t at = 0, size = 1; at < ch1.size();
             at += size, size = size * 3 % 16384 + 1) {
            const std::size_t n = std::min(size, ch1.size() - at);
            w.write_block(1, *Block(std::vector<int16_t>(ch1.begin() + at, ch1.begin() + at + n)));
        }
        for (std::size_t at = 0; at < ch0.size(); at += 16384) {
            const std::size_t n = std::min<std::size_t>(16384, ch0.size() - at);
            w.write_block(0, *Block(std::vector<int16_t>(ch0.begin() + at, ch0.begin() + at + n)));
        }
        ASSERT_TRUE(w.save_file(""));
        ASSERT_TRUE(w.close_file());
    }
    EXPECT_EQ(ReadBytes(name).size(), 1024u + 4u * 70001u);
    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_DOUBLE_EQ(r.channel_rate(0), 48000);
    r.setChunknSamples(1000);
    for (int32_t ch = 0; ch < 2; ++ch) {
        std::vector<int16_t> got;
        for (;;) {
            auto part = Read(r, ch);
            if (part.empty()) break;
            got.insert(got.end(), part.begin(), part.end());
        }
        EXPECT_EQ(got, ch == 0 ? ch0 : ch1) << "channel " << ch;
    }
}

TEST(SmpSamples, FileOfAnotherWriterReadsCorrectly) {
    SmpTempDir tmp;
    const auto name = tmp.path("other.smp");
    // Another program's file: LF line ends, keys in capitals, a short header
    // region, big-endian samples, three channels in the order 2,0,1 with a
    // skipped slot 5, and a data area that ends inside its last frame.
    std::string bytes = "HEAD=256\nFILE=samp\nSFTOT=30000\nNCHANS=3\nMSB=first\nSCAN=2 0 1 5\n"
                        "L1=left\nL2=right;Pa\n=\nrecorded elsewhere\n";
    bytes += '\x1A';
    bytes.resize(256, '\0');
    std::vector<int16_t> data;
    for (int16_t frame = 0; frame < 50; ++frame) {
        data.push_back(static_cast<int16_t>(2000 + frame));
        data.push_back(static_cast<int16_t>(-frame));
        data.push_back(static_cast<int16_t>(1000 + frame));
        data.push_back(0x7F7F);
    }
    data.push_back(2050);
    data.push_back(-50); // last frame incomplete
    bytes += BigEndian(data);
    WriteBytes(name, bytes);

    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.DataOffset(), 256);
    EXPECT_EQ(f.nchans(), 3);
    EXPECT_TRUE(f.msbfirst());
    EXPECT_EQ(f.scan_length(), 4);
    EXPECT_DOUBLE_EQ(f.channel_rate(1), 7500);
    EXPECT_EQ(f.label_count(), 2);
    EXPECT_EQ(f.get_label(1), "right,Pa");
    EXPECT_EQ(f.Comment(), std::vector<std::string>{"recorded elsewhere"});
    f.setChunknSamples(64);
    const auto c0 = Read(f, 0);
    const auto c1 = Read(f, 1);
    const auto c2 = Read(f, 2);
    ASSERT_EQ(c0.size(), 51u);
    ASSERT_EQ(c1.size(), 50u);
    ASSERT_EQ(c2.size(), 51u);
    for (int16_t i = 0; i < 50; ++i) {
        EXPECT_EQ(c0[i], -i);
        EXPECT_EQ(c1[i], 1000 + i);
        EXPECT_EQ(c2[i], 2000 + i);
    }
    EXPECT_EQ(c0[50], -50);
    EXPECT_EQ(c2[50], 2050);
    EXPECT_EQ(Read(f, 5), std::vector<int16_t>{}); // slot of a channel beyond nchans
}
