// The whole chain through the simulated room: noise out, the room's decay
// back in, the analysis, and the result views' evaluation. These are physics
// checks: the reverberation time view must find the room's T60, and the decay
// view's curve must show the decay after the noise.
#include "views_fixture.h"

#include <algorithm>

using namespace ravlon;

namespace {

class ViewsRoom : public ViewsFixture, public ::testing::WithParamInterface<double> {
protected:
    void SetUp() override {} // each test starts its own room

    static double Median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
};

} // namespace

TEST_P(ViewsRoom, ViewsFindTheRoomsReverberation) {
    const double t60 = GetParam();
    StartForms("room:t60=" + FloatToStrDot(t60) + ",pace=fast");
    // Post-noise silence long enough for a 40 dB decay and more.
    Form1->postnoiseedit->setText(t60 > 1 ? "2" : "1");
    PressRun();
    ASSERT_TRUE(Form1->Running);
    ASSERT_TRUE(WaitForCycles(8));
    Form1->RunAction->trigger();
    ASSERT_FALSE(Form1->Running);
    ASSERT_EQ(Form1->DroppedBuffers(), 0u);

    const TSpectrogram& s = Form1->Store();
    ASSERT_EQ(s.Bins(), kBins);
    Grab(Form4);
    ASSERT_EQ(Form4->T60Values().size(), size_t(kBins));
    std::vector<double> band;
    const int32_t lo = FrequencyToBin(500, kBins, 48000), hi = FrequencyToBin(4000, kBins, 48000);
    for (int32_t b = lo; b <= hi; ++b) band.push_back(Form4->T60Values()[size_t(b)]);
    const double median = Median(band);
    EXPECT_NEAR(median, t60, 0.15 * t60) << "bins " << lo << " .. " << hi;
    // The radius view runs the same evaluation.
    Grab(Form6);
    EXPECT_EQ(Form6->T60Values(), Form4->T60Values());

    // The decay view's curve at 1 kHz: at least 40 dB down after the noise.
    Form2->SetFrequency(1000);
    TAxis& laxis = *Form2->laxis;
    TAxis& taxis = *Form2->taxis;
    const int32_t b = FrequencyToBin(1000, kBins, 48000);
    const double l0 = PowerToDecibels(s.NoiseSpecSum()[size_t(b)] / double(s.NoiseSpecCount()));
    laxis.SetRange(l0 - 70, l0 + 10);
    QImage img = Grab(Form2);
    const double noiseEnd = double(s.Pos2()) / s.SampFreq();
    int lowest = -1;
    for (int x = taxis.ValueToPixelClamped(noiseEnd) + 1; x < img.width() - 1; ++x)
        for (int y = img.height() - 2; y > 0; --y)
            if (Is(img, x, y, kRed)) {
                lowest = std::max(lowest, y);
                break;
            }
    ASSERT_GE(lowest, 0) << "no decay curve drawn";
    EXPECT_LE(laxis.PixelToValue(lowest), l0 - 40);
}

INSTANTIATE_TEST_SUITE_P(Rooms, ViewsRoom, ::testing::Values(0.8, 1.6),
                         [](const ::testing::TestParamInfo<double>& i) {
                             return i.param > 1 ? std::string("T60_1_6s") : std::string("T60_0_8s");
                         });
