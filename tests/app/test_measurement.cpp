// A whole measurement through the simulated room: run, stop, the temporary
// recording, the averaged store, the picture, save and open again.
#include "app_fixture.h"

#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file.h"
#include "widgets/paint_box.h"

#include <QImage>
#include <QLineEdit>
#include <QPixmap>

#include <algorithm>

using namespace ravlon;

namespace {

// Gray value of a pixel of the image, -1 on a grid line (which is bluish).
int Gray(const QImage& img, int x, int y) {
    QRgb p = img.pixel(x, y);
    return qRed(p) == qBlue(p) ? qRed(p) : -1;
}

std::vector<int> Valid(std::vector<int> v) {
    v.erase(std::remove(v.begin(), v.end(), -1), v.end());
    return v;
}

int Median(std::vector<int> v) {
    if (v.empty()) return -1;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

class Measurement : public AppFixture {};

TEST_F(Measurement, FourCyclesThroughTheSimulatedRoom) {
    StartForms("room:t60=0.8,pace=fast");
    ASSERT_TRUE(Form1->isVisible());
    std::vector<int16_t> delivered;
    std::vector<std::string> progress, expected; // after every recorded buffer
    auto fetch = Form1->MPCRecord1.OnFetch;
    Form1->MPCRecord1.OnFetch = [&](TWaveChunk& arr, int used, bool& last) {
        delivered.insert(delivered.end(), arr.begin(), arr.begin() + used);
        fetch(arr, used, last);
        // Cycles of 144384 samples at 48000 Hz: the one being recorded and its rest.
        const size_t n = delivered.size(), inCycle = n % 144384;
        progress.push_back(Form1->ProgressText());
        expected.push_back("Cycle " + std::to_string(n / 144384 + 1) + ", " +
                           FormatFloat("0.0", double(144384 - inCycle) / 48000) +
                           " s to the next update");
    };

    PressRun();
    EXPECT_TRUE(warningShown);
    ASSERT_TRUE(Form1->Running);
    EXPECT_TRUE(Form1->taxis->MarkerVisible());
    ASSERT_TRUE(WaitForCycles(4));
    Form1->RunAction->trigger();
    ASSERT_FALSE(Form1->Running);
    // The status bar showed the run's progress after every buffer, and not after the run.
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(progress.back().substr(0, 8), "Cycle 5,");
    EXPECT_EQ(Form1->ProgressText(), "");
    EXPECT_FALSE(Form1->RunAction->isChecked());
    EXPECT_FALSE(Form1->taxis->MarkerVisible());
    EXPECT_EQ(Form1->DroppedBuffers(), 0u);

    // The temporary recording: header items in the window's order, samples as delivered.
    TSMPfile tmp;
    ASSERT_TRUE(tmp.open_file(Form1->TmpFileName, true));
    std::vector<std::string> keys;
    for (const auto& line : tmp.Items()) keys.push_back(line.substr(0, line.find('=')));
    EXPECT_EQ(keys, (std::vector<std::string>{"head", "file", "sftot", "nchans", "msb", "view",
                                              "range", "date", "pos1", "pos2", "pos3"}));
    EXPECT_EQ(tmp.get_item("head"), "1024");
    EXPECT_EQ(tmp.get_item("file"), "samp");
    EXPECT_EQ(tmp.get_item("sftot"), "48000");
    EXPECT_EQ(tmp.get_item("nchans"), "1");
    EXPECT_EQ(tmp.get_item("msb"), "last");
    EXPECT_EQ(tmp.get_item("view"), "-1,1");
    EXPECT_EQ(tmp.get_item("range"), "-32768,32768");
    EXPECT_FALSE(tmp.get_item("date").empty());
    EXPECT_EQ(tmp.get_item("pos1"), "48128");
    EXPECT_EQ(tmp.get_item("pos2"), "96256");
    EXPECT_EQ(tmp.get_item("pos3"), "144384");
    tmp.close_file();
    EXPECT_EQ(ReadSamples(Form1->TmpFileName), delivered);

    // The store: 4 complete cycles, a fifth one perhaps begun.
    const TSpectrogram& s = Form1->Store();
    ASSERT_EQ(s.Frames(), 564);
    ASSERT_EQ(s.Bins(), 128);
    for (int32_t c : s.SpecCount()) {
        EXPECT_GE(c, 4);
        EXPECT_LE(c, 5);
    }

    // The picture: the noise itself is mid-gray, the room has decayed 0.5 s after it.
    Form1->faxis->SetRange(20, 20000);
    Form1->taxis->SetRange(0, 144384.0 / 48000);
    QImage img = Form1->PaintBox1->grab().toImage();
    ASSERT_FALSE(img.isNull());
    std::vector<int> noise, decay;
    for (double f = 1000; f <= 8000; f *= 1.1) {
        int y = Form1->faxis->ValueToPixelClamped(f);
        for (double t = 1.3; t < 1.9; t += 0.02)
            noise.push_back(Gray(img, Form1->taxis->ValueToPixelClamped(t), y));
        decay.push_back(Gray(img, Form1->taxis->ValueToPixelClamped(96256.0 / 48000 + 0.5), y));
    }
    noise = Valid(noise);
    decay = Valid(decay);
    ASSERT_GT(noise.size(), 100u);
    ASSERT_GT(decay.size(), 10u);
    EXPECT_NEAR(Median(noise), 127, 3);
    EXPECT_GT(*std::min_element(decay.begin(), decay.end()), 200);

    // Save, then open the saved file: the same store, bit for bit.
    std::vector<double> sums(s.SpecSumData().begin(), s.SpecSumData().end());
    std::vector<int32_t> counts = s.SpecCount();
    std::string saved = TempDir() + "/room.ravlon";
    Form1->SaveRecording(saved);
    ASSERT_TRUE(std::filesystem::exists(saved));
    EXPECT_TRUE(messages.empty());
    Form1->OpenRecording(saved);
    EXPECT_EQ(std::vector<double>(s.SpecSumData().begin(), s.SpecSumData().end()), sums);
    EXPECT_EQ(s.SpecCount(), counts);
    EXPECT_EQ(Form1->prenoiseedit->text().toStdString(), "1.00267");
    EXPECT_EQ(Form1->noiseedit->text().toStdString(), "1.00267");
    EXPECT_EQ(Form1->postnoiseedit->text().toStdString(), "1.00267");
    // The temporary recording became a copy of the opened one.
    EXPECT_EQ(ReadSamples(Form1->TmpFileName), delivered);
}

// The room in real time, as a person uses it: the window keeps up with the
// sound and nothing is dropped.
TEST_F(Measurement, RealTimeRoomRunsWithoutDroppingAudio) {
    StartForms("room:t60=0.3");
    Form1->prenoiseedit->setText("0.2");
    Form1->noiseedit->setText("0.3");
    Form1->postnoiseedit->setText("0.5");
    PressRun();
    ASSERT_TRUE(Form1->Running);
    ASSERT_TRUE(WaitForCycles(2));
    Form1->RunAction->trigger();
    EXPECT_EQ(Form1->DroppedBuffers(), 0u);
    EXPECT_EQ(Form1->MPCRecord1.Dropouts(), 0u);
    for (int32_t c : Form1->Store().SpecCount()) EXPECT_GE(c, 2);
}
