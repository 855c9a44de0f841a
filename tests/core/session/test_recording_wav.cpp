// A recording exported as WAV: the samples, the cycle as cue points, the
// durations in the comment; cue points of another pattern are not taken for a
// cycle; a failed export leaves an existing file whole.
#include "../bands/room_recording.h"
#include "core/session/recording_wav.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace ravlon;
namespace fs = std::filesystem;

namespace {

class RecordingWav : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("ravlon-wav-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        samples.resize(3 * 4800 + 1000); // three cycles and a part
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 7919 % 20000 - 10000);
        ASSERT_TRUE(test::WriteRecording(Path("r.ravlon"), 16000, 800, 2400, 4800, samples));
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    fs::path dir;
    std::vector<int16_t> samples;
};

TEST_F(RecordingWav, SamplesCuePointsAndCommentReadBack) {
    ExportRecordingWav(Path("r.ravlon"), Path("r.wav"));
    SF_INFO info{};
    SNDFILE* f = sf_open(Path("r.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(info.samplerate, 16000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<int16_t> back(samples.size() + 10);
    EXPECT_EQ(sf_read_short(f, back.data(), sf_count_t(back.size())), sf_count_t(samples.size()));
    back.resize(samples.size());
    EXPECT_EQ(back, samples);
    uint32_t cues = 0;
    sf_command(f, SFC_GET_CUE_COUNT, &cues, sizeof cues);
    EXPECT_EQ(cues, 9u); // three complete cycles
    const char* comment = sf_get_string(f, SF_STR_COMMENT);
    ASSERT_NE(comment, nullptr);
    EXPECT_NE(std::string(comment).find("pre-noise silence 0.05 s, noise 0.1 s, post-noise "
                                        "silence 0.15 s"),
              std::string::npos)
        << comment;
    sf_close(f);
    const std::optional<TWavCycle> cycle = ReadWavCycle(Path("r.wav"));
    ASSERT_TRUE(cycle);
    EXPECT_EQ(cycle->Pos1, 800);
    EXPECT_EQ(cycle->Pos2, 2400);
    EXPECT_EQ(cycle->Pos3, 4800);
}

TEST_F(RecordingWav, OtherCuePointsAreNoCycle) {
    const auto write = [&](std::vector<uint32_t> offsets) {
        SF_INFO info{};
        info.samplerate = 16000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(Path("other.wav").c_str(), SFM_WRITE, &info);
        SF_CUES cues{};
        cues.cue_count = uint32_t(offsets.size());
        for (size_t i = 0; i < offsets.size(); ++i) {
            cues.cue_points[i].indx = int32_t(i + 1);
            cues.cue_points[i].sample_offset = offsets[i];
        }
        if (!offsets.empty()) sf_command(f, SFC_SET_CUE, &cues, sizeof cues);
        sf_write_short(f, samples.data(), sf_count_t(samples.size()));
        sf_close(f);
    };
    for (const std::vector<uint32_t>& offsets :
         {std::vector<uint32_t>{}, {100, 200}, {300, 200, 400}, {0, 10, 20, 20, 30, 41}}) {
        write(offsets);
        EXPECT_FALSE(ReadWavCycle(Path("other.wav"))) << offsets.size();
    }
    write({0, 10, 20, 20, 30, 40});
    EXPECT_TRUE(ReadWavCycle(Path("other.wav")));
    EXPECT_FALSE(ReadWavCycle(Path("missing.wav")));
}

TEST_F(RecordingWav, FailedExportsSayWhyAndKeepTheOldFile) {
    std::ofstream(Path("old.wav")) << "old";
    std::ofstream(Path("junk.ravlon")) << "not a recording";
    const auto refused = [&](const std::string& from, const std::string& to,
                             const std::string& why) {
        try {
            ExportRecordingWav(from, to);
            ADD_FAILURE() << "no error for " << from << " -> " << to;
        } catch (const ERecordingWavError& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    };
    refused(Path("junk.ravlon"), Path("old.wav"), "no item \"pos1\"");
    refused(Path("r.ravlon"), Path("r.ravlon"), "the recording itself");
    refused(Path("r.ravlon"), Path("nowhere/x.wav"), "cannot be written");
    EXPECT_EQ(std::ifstream(Path("old.wav")).rdbuf()->sgetc(), 'o');
    EXPECT_EQ(fs::file_size(Path("old.wav")), 3u);
    // Nothing partly written stays behind.
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
}

} // namespace
