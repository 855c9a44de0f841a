// The shared measurement model: one evaluation per change of store, set-up
// or drops (however many views paint), a failure kept until the next change,
// and observers told what changed.
#include "core/model/measurement_model.h"

#include "core/base/errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ravlon;

namespace {

// 48 kHz, 1 s / 1 s / 1 s, rectangular window of 256 samples (so the scan
// starts right after the noise), and a store decaying 60 dB per second.
TSpectrogram::RunSettings Rectangular256() {
    TSpectrogram::RunSettings r;
    r.Window = 0;
    r.Bandwidth = 187.5;
    return r;
}

void Fill(MeasurementModel& m) {
    TSpectrogram& s = m.Store();
    s.SetupRun(Rectangular256());
    std::vector<double> power(static_cast<size_t>(s.Bins()));
    for (int32_t f = 0; f < s.Frames(); ++f) {
        const double t = f * 256.0 / 48000;
        const double level = t < 1.0027 ? 1e-6 : t < 2.0053 ? 1.0 : std::pow(10, -6 * (t - 2.0053));
        std::fill(power.begin(), power.end(), level);
        s.AddSpectrum(f, power);
    }
    s.UpdateNoiseReference();
    m.Changed(ChangeSetup | ChangeStore);
}

} // namespace

TEST(MeasurementModel, EvaluatesOncePerChangeOfStoreOrDrops) {
    MeasurementModel m;
    std::vector<unsigned> told;
    auto sub = m.Observe([&](unsigned c) { told.push_back(c); });

    // Set up, nothing analysed yet: the failure is kept, not re-run by every reader.
    m.Store().SetupRun(Rectangular256());
    m.Changed(ChangeSetup);
    EXPECT_THROW(m.Evaluation(), EMathError);
    EXPECT_THROW(m.Evaluation(), EMathError);
    EXPECT_EQ(m.EvaluationCount(), 1u);

    m.SetInitialDrop(5);
    m.SetAdditionalDrop(30);
    Fill(m);
    const uint64_t before = m.EvaluationCount();
    const T60Evaluation& e = m.Evaluation();
    for (int view = 0; view < 3; ++view) m.Evaluation(); // decay, T60 and radius views paint
    EXPECT_EQ(m.EvaluationCount(), before + 1);
    ASSERT_EQ(e.T60Values.size(), 128u);
    EXPECT_NEAR(e.T60Values[40], 1.0, 0.05) << e.StartFrames[40] << " " << e.EndFrames[40];

    // The selection and the volume leave the evaluation alone; an unchanged drop too.
    m.SetFrequency(2000);
    m.SetTime(1.5);
    m.SetRoomVolumeText("250");
    m.SetInitialDrop(5);
    m.Evaluation();
    EXPECT_EQ(m.EvaluationCount(), before + 1);
    m.SetInitialDrop(10);
    m.Evaluation();
    m.Changed(ChangeStore);
    m.Evaluation();
    EXPECT_EQ(m.EvaluationCount(), before + 3);

    EXPECT_EQ(told, (std::vector<unsigned>{ChangeSetup, ChangeDrops, ChangeDrops,
                                           ChangeSetup | ChangeStore, ChangeFrequency, ChangeTime,
                                           ChangeVolume, ChangeDrops, ChangeStore}));
    EXPECT_DOUBLE_EQ(m.RoomVolume(), 250);
    m.SetRoomVolumeText("abc");
    EXPECT_THROW(m.RoomVolume(), EConvertError);
}

TEST(MeasurementModel, ObserversLeaveWithTheirSubscription) {
    MeasurementModel m;
    int a = 0, b = 0;
    auto first = m.Observe([&](unsigned) { ++a; });
    {
        auto second = m.Observe([&](unsigned) { ++b; });
        m.SetFrequency(1000);
    }
    m.SetFrequency(1000); // the same value still tells: a mouse selection repaints
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    // An observer that drops another one during a notification: that one is not called.
    MeasurementModel::Subscription victim;
    int c = 0;
    auto killer = m.Observe([&](unsigned) { victim = {}; });
    victim = m.Observe([&](unsigned) { ++c; });
    m.SetTime(1);
    EXPECT_EQ(c, 0);
}

TEST(MeasurementModel, ClippedCyclesAreToldOnceEachAndClearedByANewSetup) {
    MeasurementModel m;
    TSpectrogram::RunSettings r = Rectangular256();
    r.SampFreq = 1000;
    r.PreNoise = r.Noise = r.PostNoise = 1.0; // cycles of 3000 samples
    m.Store().SetupRun(r);
    m.Changed(ChangeSetup);
    int clipping = 0;
    auto sub = m.Observe([&](unsigned c) { clipping += (c & ChangeClipping) != 0; });
    std::vector<int16_t> chunk(1000, 100);
    chunk[10] = 32767;
    for (int i = 0; i < 3; ++i) m.SamplesTaken(chunk.data(), 1000, true); // cycle 1: 3 chunks
    chunk[10] = 100;
    m.SamplesTaken(chunk.data(), 1000, true); // cycle 2 clean
    chunk[999] = -32768;
    m.SamplesTaken(chunk.data(), 1000, false); // cycle 2 clips, not analysed: still counted
    EXPECT_EQ(clipping, 2);
    EXPECT_EQ(m.InputMeter().ClippedInCycle(1), 3);
    EXPECT_EQ(m.InputMeter().ClippedInCycle(2), 1);
    EXPECT_EQ(m.InputMeter().StatusText(), "Input clipped in cycles 1-2 (4 samples)");
    m.Changed(ChangeSetup);
    EXPECT_FALSE(m.InputMeter().Clipped());
}
