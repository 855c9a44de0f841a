// A full measurement through the simulated room: 20 cycles of the program's
// noise played through a room with known per-band T60, written as a recording,
// opened as the main window opens it, then evaluated per octave band.
#include "core/bands/band_evaluation.h"
#include "core/measure/open_recording.h"
#include "core/views/t60_evaluation.h"
#include "room_recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace ravlon;

namespace {

struct TempFile {
    std::string name;
    ~TempFile() { std::filesystem::remove(name); }
};

// 44.1 kHz, Hanning, 50 Hz: FFT 2048, 21.5 Hz bins, 46 ms frames, so the
// 250 Hz octave holds 8 bins and a T20 range at 0.6 s still spans 4 frames.
// 2 s after the noise let every band reach the room's background.
test::RoomRecordingSetup RoomSpec() {
    test::RoomRecordingSetup setup;
    setup.Room = test::BandTestRoom();
    setup.Run.SampFreq = 44100;
    setup.Run.Window = 3;
    setup.Run.Bandwidth = 50;
    setup.Run.PreNoise = 0.25;
    setup.Run.Noise = 1.25;
    setup.Run.PostNoise = 2.0;
    setup.Cycles = 20;
    return setup;
}

} // namespace

TEST(BandsThroughRoom, OctaveT20T30AndPerBinMedianMatchTheRoom) {
    const test::RoomRecordingSetup setup = RoomSpec();
    TempFile file{(std::filesystem::temp_directory_path() /
                   ("ravlon-bands-room-" + std::to_string(::getpid()) + ".ravlon"))
                      .string()};
    ASSERT_TRUE(test::WriteRoomRecording(file.name, setup));

    TSMPfile rec;
    ASSERT_TRUE(rec.open_file(file.name, true));
    TFFT fft;
    TSpectrogram store(fft);
    const ReanalysisResult done =
        OpenRecordingAnalysis(rec, store, setup.Run.Window, setup.Run.Bandwidth);
    rec.close_file();
    ASSERT_EQ(done.Cycles, 20);
    ASSERT_EQ(store.BlockSize(), 2048);
    std::vector<double> t60, start, end;
    EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), 5, 30, t60, start, end);
    const std::vector<TBandResult> bands = EvaluateBands(store, TBandSet::Octave, t60);
    ASSERT_EQ(bands.size(), 8u);
    for (const TBandResult& r : bands) {
        if (r.Band.Nominal < 250) continue;
        const double room = setup.Room.t60At(r.Band.Nominal);
        const double tol = r.Band.Nominal == 250 ? 0.10 : 0.05;
        SCOPED_TRACE(r.Band.Nominal);
        if (r.Band.Nominal <= 4000) {
            EXPECT_TRUE(r.T20.Valid()) << FitProblemText(r.T20.Problems);
            EXPECT_TRUE(r.T30.Valid()) << FitProblemText(r.T30.Problems);
            EXPECT_NEAR(r.T20.T, room, tol * room);
            EXPECT_NEAR(r.T30.T, room, tol * room);
            EXPECT_LT(std::abs(r.C), 10.0);
            EXPECT_LT(r.T30.Xi, 10.0);
        }
        // The background of the room (-70 dBFS) lies far below every range.
        EXPECT_LT(r.Background, -45.0);
        EXPECT_NEAR(r.T60Median, room, 0.15 * room);
        EXPECT_GE(r.T60Count, r.Bins.Count() / 2);
    }
}
