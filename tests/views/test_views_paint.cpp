// The result views' pictures, read back pixel by pixel from an offscreen grab
// of the plot: curves, dots and lines in their colours at the places the data
// puts them, and what is left when a repaint ends early.
#include "views_fixture.h"

#include <QTest>

using namespace ravlon;

namespace {

class ViewsPaint : public ViewsFixture {
protected:
    // Every bin below 90 decays with T60 1.2 s; bins from 90 up (above about
    // 16.9 kHz) do not decay and get no T60.
    void BuildRoom(int32_t filledFrames = -1) {
        BuildStore([](int32_t b) { return b < 90 ? 1.2 : 0.0; }, -100, 10, 60, 300, filledFrames);
    }
    // Frame and grid only: white, the black outline and the two grid grays.
    static bool FrameOnly(const QImage& img) {
        const QRgb allowed[] = {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(150, 150, 150),
                                qRgb(200, 200, 200)};
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (std::find(std::begin(allowed), std::end(allowed),
                              img.pixel(x, y) | 0xff000000u) == std::end(allowed))
                    return false;
        // Grid lines at the edges may cover parts of the outline.
        return Count(img, Qt::black) > 0;
    }
    // Counts the paints of a plot.
    static void CountPaints(TPaintBox* box, int& n) {
        auto paint = box->OnPaint;
        box->OnPaint = [paint, &n](QPainter& c) {
            ++n;
            paint(c);
        };
    }
};

// Column x shows the dot of column x + 1 on top of its own (dots are 2 pixels
// wide, drawn left to right).
int DotColumn(TAxis& faxis, double f) {
    return faxis.ValueToPixel(f) - 1;
}

} // namespace

TEST_F(ViewsPaint, ResponseViewDrawsTheFrameSpectrumRedAndTheNoiseReferenceBlue) {
    // No analysis yet: frame and grid only, also after SetTime.
    Form3->SetTime(0.6);
    QImage img = Grab(Form3);
    EXPECT_TRUE(FrameOnly(img));
    EXPECT_EQ(Count(img, kRed) + Count(img, kBlue) + Count(img, kDotted), 0);

    BuildRoom();
    img = Grab(Form3);
    const int w = img.width(), h = img.height();
    TAxis& laxis = *Form3->laxis;
    TAxis& faxis = *Form3->faxis;
    // 0.6 s is frame 112, 52 frames after the noise: 13.87 dB below it.
    const int yRed = laxis.ValueToPixelClamped(-60.0 * 52 * kFrameTime / 1.2);
    const int yBlue = laxis.ValueToPixelClamped(0);
    ASSERT_GT(yRed - yBlue, 10);
    const int xLimit = faxis.ValueToPixel(16000); // bins from 90 on do not decay
    EXPECT_GT(CountRow(img, yRed, kRed), xLimit * 9 / 10);
    EXPECT_GT(CountRow(img, yBlue, kBlue), w * 9 / 10);
    // Beyond the decaying bins the red curve lies on the noise level, under the blue one.
    for (int x = faxis.ValueToPixel(19000); x < w; ++x) EXPECT_FALSE(Is(img, x, yRed, kRed)) << x;
    // The selected frequency, dotted, over the curves.
    const int xSel = faxis.ValueToPixelClamped(Form2->SnappedFrequency());
    EXPECT_GT(CountColumn(img, xSel, kDotted), h / 4);

    // Before the first SetTime the red curve shows frame 0, the pre-noise silence.
    Form3->SetTime(0);
    laxis.SetRange(-80, 20);
    img = Grab(Form3);
    EXPECT_GT(CountRow(img, laxis.ValueToPixelClamped(-60), kRed), w * 9 / 10);

    // Above half the sampling rate the curves hold the last bin's level.
    laxis.SetRange(-50, 50);
    faxis.SetRange(20, 96000);
    img = Grab(Form3);
    for (int x = faxis.ValueToPixel(30000); x < w - 1; ++x)
        EXPECT_TRUE(Is(img, x, laxis.ValueToPixelClamped(0), kBlue)) << x;
}

TEST_F(ViewsPaint, ResponseViewEndsAtAFrameWithoutBlocks) {
    // The first cycle of a run: frames from 200 on have not received a block.
    BuildStore([](int32_t) { return 1.2; }, -100, 10, 60, 300, 200);
    Form3->SetTime(1.5);
    QImage img = Grab(Form3);
    EXPECT_TRUE(FrameOnly(img));
    EXPECT_EQ(Count(img, kRed) + Count(img, kBlue) + Count(img, kDotted), 0);
    Form3->SetTime(0.6);
    img = Grab(Form3);
    EXPECT_GT(Count(img, kRed), 0);
    EXPECT_GT(Count(img, kBlue), 0);
}

TEST_F(ViewsPaint, ReverberationTimeDotsAreSilverBelowTheLimitFrequencyAndRedAbove) {
    BuildRoom();
    QImage img = Grab(Form4);
    ASSERT_EQ(Form4->T60Values().size(), size_t(kBins));
    const double t60 = Form4->T60Values()[5];
    ASSERT_NEAR(t60, 1.2, 0.01);
    EXPECT_EQ(Form4->T60Values()[110], 0);
    TAxis& faxis = *Form4->faxis;
    TAxis& taxis = *Form4->taxis;
    const int y = taxis.ValueToPixelClamped(t60);
    const int xSel = faxis.ValueToPixelClamped(Form2->SnappedFrequency());
    // Limit frequency 1900 * sqrt(1.2 / 100) = 208.1 Hz.
    for (double f : {60.0, 100.0, 150.0, 190.0})
        EXPECT_TRUE(Is(img, DotColumn(faxis, f), y, kSilver)) << f;
    for (double f : {230.0, 500.0, 2000.0, 8000.0, 15000.0})
        EXPECT_TRUE(Is(img, DotColumn(faxis, f), y, kRed)) << f;
    // No T60: silver at 0 s whatever the frequency.
    const int y0 = taxis.ValueToPixelClamped(0);
    EXPECT_TRUE(Is(img, DotColumn(faxis, 19000), y0, kSilver));
    EXPECT_FALSE(Is(img, DotColumn(faxis, 19000), y, kRed));
    EXPECT_GT(CountColumn(img, xSel, kDotted), img.height() / 4);

    // Four times the volume halves the limit frequency: 150 Hz turns red.
    Form6->volumeedit->setText("400");
    img = Grab(Form4);
    EXPECT_TRUE(Is(img, DotColumn(faxis, 150), y, kRed));
    EXPECT_TRUE(Is(img, DotColumn(faxis, 90), y, kSilver));

    // Volume text that is not a number: frame and grid only, results evaluated all the same.
    Form6->volumeedit->setText("abc");
    Form2->initialleveledit->setText("5.0"); // the same drop: no new evaluation needed
    img = Grab(Form4);
    EXPECT_TRUE(FrameOnly(img));
    EXPECT_EQ(Count(img, kRed) + Count(img, kSilver) + Count(img, kDotted), 0);
    EXPECT_EQ(Form4->T60Values().size(), size_t(kBins));
    EXPECT_NEAR(Form4->T60Values()[5], t60, 1e-12);

    // Volume 0: the first column has no limit frequency, so no dot at all.
    Form6->volumeedit->setText("0");
    img = Grab(Form4);
    EXPECT_EQ(Count(img, kRed) + Count(img, kSilver) + Count(img, kDotted), 0);

    // Columns above half the sampling rate show the last bin.
    Form6->volumeedit->setText("100");
    faxis.SetRange(20, 96000);
    img = Grab(Form4);
    EXPECT_TRUE(Is(img, DotColumn(faxis, 60000), y0, kSilver));
}

TEST_F(ViewsPaint, RadiusDotsAreGreenAboveTheLimitFrequencyAndSilverBelow) {
    BuildRoom();
    QImage img = Grab(Form6);
    ASSERT_EQ(Form6->T60Values().size(), size_t(kBins));
    const double t60 = Form6->T60Values()[5];
    ASSERT_NEAR(t60, 1.2, 0.01);
    TAxis& faxis = *Form6->faxis;
    TAxis& raxis = *Form6->raxis;
    const double r = 0.056 * std::sqrt(100 / t60); // 0.511 m
    const int y = raxis.ValueToPixelClamped(r);
    for (double f : {60.0, 150.0, 190.0})
        EXPECT_TRUE(Is(img, DotColumn(faxis, f), y, kSilver)) << f;
    for (double f : {230.0, 1500.0, 15000.0})
        EXPECT_TRUE(Is(img, DotColumn(faxis, f), y, kGreen)) << f;
    // No T60: a silver dot at radius 0.
    EXPECT_TRUE(Is(img, DotColumn(faxis, 19000), raxis.ValueToPixelClamped(0), kSilver));

    // Four times the volume: twice the radius, half the limit frequency.
    Form6->volumeedit->setText("400");
    img = Grab(Form6);
    const int y2 = raxis.ValueToPixelClamped(2 * r);
    ASSERT_GT(y - y2, 10);
    EXPECT_TRUE(Is(img, DotColumn(faxis, 150), y2, kGreen));
    EXPECT_TRUE(Is(img, DotColumn(faxis, 1500), y2, kGreen));
    EXPECT_FALSE(Is(img, DotColumn(faxis, 1500), y, kGreen));

    Form6->volumeedit->setText("1e");
    img = Grab(Form6);
    EXPECT_TRUE(FrameOnly(img));
    EXPECT_EQ(Count(img, kGreen) + Count(img, kSilver) + Count(img, kDotted), 0);
}

TEST_F(ViewsPaint, EveryKeystrokeInTheVolumeRepaintsBothViews) {
    BuildRoom();
    Form4->show();
    Form6->show();
    int n4 = 0, n6 = 0;
    CountPaints(Form4->PaintBox1, n4);
    CountPaints(Form6->PaintBox1, n6);
    Form6->volumeedit->setFocus();
    Form6->volumeedit->selectAll();
    for (Qt::Key key : {Qt::Key_4, Qt::Key_0, Qt::Key_0, Qt::Key_X, Qt::Key_Backspace}) {
        const int a = n4, b = n6;
        QTest::keyClick(Form6->volumeedit, key);
        EXPECT_TRUE(WaitFor([&] { return n4 > a && n6 > b; }, 5000)) << key;
    }
    EXPECT_EQ(Form6->volumeedit->text(), "400");
}

TEST_F(ViewsPaint, DropChangesAndSelectionsRepaintTheirViews) {
    BuildRoom();
    int n[4] = {0, 0, 0, 0};
    TResultView* views[4] = {Form2, Form3, Form4, Form6};
    for (int i = 0; i < 4; ++i) {
        views[i]->show();
        CountPaints(views[i]->PaintBox1, n[i]);
    }
    auto repainted = [&](std::initializer_list<int> which, const std::function<void()>& act) {
        int before[4];
        std::copy(n, n + 4, before);
        act();
        return WaitFor(
            [&] {
                return std::all_of(which.begin(), which.end(),
                                   [&](int i) { return n[i] > before[i]; });
            },
            5000);
    };
    EXPECT_TRUE(repainted({0, 2, 3}, [this] { Form2->initialleveledit->setText("6"); }));
    EXPECT_TRUE(repainted({0, 2, 3}, [this] { Form2->additionalleveledit->setText("nonsense"); }));
    EXPECT_TRUE(repainted({0, 1, 2, 3}, [this] { Form2->SetFrequency(2000); }));
    EXPECT_TRUE(repainted({1}, [this] { Form3->SetTime(0.3); }));
    for (int i = 0; i < 4; ++i) {
        TAxis* axis = i == 0   ? Form2->taxis
                      : i == 1 ? Form3->laxis
                      : i == 2 ? Form4->taxis
                               : Form6->raxis;
        EXPECT_TRUE(repainted({i}, [axis] { axis->OnScaleChanging(axis); })) << i;
    }
}

TEST_F(ViewsPaint, DecayViewCurvesDropLinesAndMarkers) {
    // Before any analysis: frame and grid only.
    QImage img = Grab(Form2);
    EXPECT_TRUE(FrameOnly(img));
    EXPECT_EQ(Count(img, kRed) + Count(img, kDashed), 0);

    BuildRoom();
    Form2->taxis->SetRange(0, 1.6);
    TAxis& taxis = *Form2->taxis;
    TAxis& laxis = *Form2->laxis;
    // A line in place, so that its absence shows.
    Press(Form2, Qt::LeftButton, taxis.ValueToPixel(0.5), laxis.ValueToPixel(0));
    Move(Form2, Qt::LeftButton, taxis.ValueToPixel(1.0), laxis.ValueToPixel(-30));

    // Curves, drop lines, the evaluation's markers (whether or not the
    // reverberation time view has painted) and the line.
    img = Grab(Form2);
    const int w = img.width(), h = img.height();
    EXPECT_GT(Count(img, kRed), w / 2);
    for (double l : {0.0, -5.0, -35.0})
        EXPECT_GT(CountRow(img, laxis.ValueToPixelClamped(l), kDashed), w / 2) << l;
    const int xStart = taxis.ValueToPixelClamped(79 * kFrameTime);
    const int xEnd = taxis.ValueToPixelClamped(192 * kFrameTime);
    ASSERT_EQ(Form4->StartFrames()[5], 79);
    ASSERT_EQ(Form4->EndFrames()[5], 192);
    img = Grab(Form2);
    EXPECT_GT(CountColumn(img, xStart, kDashed), h / 3);
    EXPECT_GT(CountColumn(img, xEnd, kDashed), h / 3);
    EXPECT_GT(Count(img, kLine), 20);
    // The red curve falls with the bin: 0.6 s is 13.9 dB down.
    const int x06 = taxis.ValueToPixelClamped(112 * 1.6 / 299);
    const int y06 = laxis.ValueToPixelClamped(-60.0 * 52 * kFrameTime / 1.2);
    bool found = false;
    for (int dy = -2; dy <= 2; ++dy) found |= Is(img, x06, y06 + dy, kRed);
    EXPECT_TRUE(found);

    // The markers follow the drops, also while the reverberation time view is hidden.
    Form4->hide();
    Form2->initialleveledit->setText("10");
    img = Grab(Form2);
    EXPECT_LT(CountColumn(img, xStart, kDashed), 5);
    EXPECT_GT(
        CountColumn(img, taxis.ValueToPixelClamped(Form4->StartFrames()[5] * kFrameTime), kDashed),
        h / 3);

    // An evaluation that fails (frames without spectra yet) ends the repaint
    // before the markers and the line.
    BuildRoom(200);
    img = Grab(Form2);
    EXPECT_LT(CountColumn(img, xStart, kDashed), 5);
    EXPECT_EQ(Count(img, kLine), 0);
}

TEST_F(ViewsPaint, DecayViewMarkersAtTimeZeroWithoutCrossing) {
    // The level stops 20 dB down: the 35 dB threshold is never crossed.
    BuildStore([](int32_t) { return 1.2; }, -20);
    Grab(Form4);
    ASSERT_EQ(Form4->T60Values().size(), size_t(kBins));
    EXPECT_EQ(Form4->T60Values()[5], 0);
    EXPECT_EQ(Form4->StartFrames()[5], 0);
    EXPECT_EQ(Form4->EndFrames()[5], 0);
    Form2->taxis->SetRange(-0.2, 1.6);
    QImage img = Grab(Form2);
    const int x0 = Form2->taxis->ValueToPixelClamped(0);
    ASSERT_GT(x0, 5);
    EXPECT_GT(CountColumn(img, x0, kDashed), img.height() / 3);
    EXPECT_LT(CountColumn(img, Form2->taxis->ValueToPixelClamped(79 * kFrameTime), kDashed), 5);
}
