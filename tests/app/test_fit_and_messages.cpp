// What a newcomer sees: the level axes show a measurement without being
// touched (and keep a range the user set), the views follow a new analysis,
// and wrong input is told plainly, naming the field or file, without being
// logged as a failure of the program.
#include "app_fixture.h"

#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/views/view_math.h"
#include "platform/appexception.h"
#include "services/ini_settings.h"

#include <QLineEdit>
#include <QTest>

#include <fstream>
#include <sstream>

using namespace ravlon;

namespace {

class FitAndMessages : public AppFixture {
protected:
    double NoiseLevel(int32_t b) const {
        const TSpectrogram& s = Form1->Store();
        return PowerToDecibels(s.NoiseSpecSum()[size_t(b)] / double(s.NoiseSpecCount()));
    }
    // Runs until `cycles` more cycles are in and the spectrogram has painted them.
    void RunCycles(uint64_t cycles) {
        ASSERT_TRUE(WaitForCycles(cycles));
        Form1->PaintBox1->repaint();
    }
    static void DragAxis(TAxis& a, int y0, int y1) {
        QTest::mousePress(&a, Qt::LeftButton, Qt::NoModifier, QPoint(a.width() / 2, y0));
        const QPointF p(a.width() / 2, y1);
        QMouseEvent move(QEvent::MouseMove, p, a.mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&a, &move);
        QTest::mouseRelease(&a, Qt::LeftButton, Qt::NoModifier, QPoint(a.width() / 2, y1));
    }
};

} // namespace

TEST_F(FitAndMessages, DefaultRunShowsTheDataWithoutTouchingAnAxis) {
    StartForms("room:t60=0.8,pace=fast");
    PressRun();
    ASSERT_TRUE(Form1->Running);
    RunCycles(2);
    const TSpectrogram& s = Form1->Store();
    const int32_t b = FrequencyToBin(Form2->Frequency(), s.Bins(), s.SampFreq());
    double lowest = 1e300;
    for (int32_t fr = 0; fr < s.Frames(); ++fr)
        lowest = std::min(lowest, PowerToDecibels(s.SpecSum(fr)[size_t(b)] / s.SpecCount()[fr]));
    // The steady level and the whole decay inside the decay view, with room to spare.
    const TAxis& decay = *Form2->laxis;
    EXPECT_GT(decay.HiValue(), NoiseLevel(b) + 3);
    EXPECT_LT(decay.LoValue(), lowest);
    EXPECT_LT(decay.HiValue() - decay.LoValue(), 2 * (NoiseLevel(b) - lowest));
    // The noise reference over the shown frequencies inside the response view.
    const TAxis& response = *Form3->laxis;
    for (int32_t bin = FrequencyToBin(100, s.Bins(), s.SampFreq()); bin < s.Bins() - 1; ++bin)
        EXPECT_TRUE(response.LoValue() < NoiseLevel(bin) && NoiseLevel(bin) < response.HiValue());

    // A range the user drags is kept across cycles and the next run; the
    // untouched axis follows the new analysis.
    DragAxis(*Form2->laxis, 20, 60);
    const double lo = decay.LoValue(), hi = decay.HiValue();
    Form3->laxis->SetRange(-50, 50);
    RunCycles(2);
    Form1->RunAction->trigger();
    PressRun();
    RunCycles(1);
    Form1->RunAction->trigger();
    EXPECT_EQ(decay.LoValue(), lo);
    EXPECT_EQ(decay.HiValue(), hi);
    EXPECT_GT(response.HiValue(), NoiseLevel(b));
}

TEST_F(FitAndMessages, ReopeningAtAnotherBandwidthRefreshesTheViews) {
    StartForms("room:t60=0.8,pace=fast");
    PressRun();
    RunCycles(2);
    Form1->RunAction->trigger();
    const std::string saved = TempDir() + "/room.ravlon";
    ASSERT_TRUE(Form1->SaveRecording(saved));
    Form1->OpenRecording(saved);
    EXPECT_EQ(Form2->StatusText(0), "944.88 Hz"); // bins of 187.5 Hz
    // 100 Hz: 512 bins of 46.875 Hz; the status, the marker and the evaluation follow.
    Form1->bwedit->setText("100");
    Form1->OpenRecording(saved);
    const TSpectrogram& s = Form1->Store();
    ASSERT_EQ(s.Bins(), 512);
    EXPECT_EQ(Form2->StatusText(0), "986.3 Hz");
    EXPECT_DOUBLE_EQ(Form1->faxis->MarkerValue(), windows->Model.SnappedFrequency());
    // The decay view's markers stand in the decay, not piled up at the right edge.
    const T60Evaluation& e = windows->Model.Evaluation();
    const int32_t b = FrequencyToBin(1000, s.Bins(), s.SampFreq());
    const auto [start, end] = MarkerTimes(e.StartFrames, e.EndFrames, b, 1024, 48000);
    EXPECT_GE(start, double(s.Pos2()) / s.SampFreq());
    EXPECT_LT(Form2->taxis->ValueToPixel(end), Form2->taxis->width() - 1);
}

TEST_F(FitAndMessages, WrongInputIsAPlainMessageAndNotLogged) {
    StartForms("room:t60=0.8,pace=fast");
    const std::string log = TempDir() + "/errors.log";
    TOstrelIni().WriteString("ErrorLog", "LogFileName", log);
    TOstrelIni().WriteBool("ErrorLog", "LogErrors", true);
    const auto logText = [&] {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    // Each edit of the main window, the start refused with its field named.
    const std::pair<QLineEdit * TForm1::*, const char*> edits[] = {
        {&TForm1::sfedit, "Sampling rate [Hz]"},
        {&TForm1::bwedit, "Bandwidth [Hz]"},
        {&TForm1::prenoiseedit, "Pre-noise silence [s]"},
        {&TForm1::noiseedit, "Noise duration [s]"},
        {&TForm1::postnoiseedit, "Post-noise silence [s]"}};
    for (auto [edit, text] : edits) {
        const QString kept = (Form1->*edit)->text();
        (Form1->*edit)->setText("abc");
        messages.clear();
        PressRun();
        ASSERT_EQ(messages.size(), 1u) << text;
        EXPECT_EQ(messages[0].text, std::string(text) + ": 'abc' is not a number");
        EXPECT_EQ(messages[0].flags, MB_OK | MB_ICONEXCLAMATION);
        EXPECT_FALSE(Form1->Running);
        (Form1->*edit)->setText(kept);
    }
    // Opened in the File menu: a file that is not a recording, and a recording
    // with a bandwidth that does not work at its rate.
    PressRun();
    ASSERT_TRUE(WaitForCycles(1));
    Form1->RunAction->trigger();
    ASSERT_TRUE(Form1->SaveRecording(TempDir() + "/room.ravlon"));
    std::ofstream(TempDir() + "/notes.ravlon") << "milk\neggs\n";
    Form1->bwedit->setText("1e9");
    for (auto [file, text] : {std::pair{"/notes.ravlon", "notes.ravlon is not a Ravlon recording "
                                                         "(no header)"},
                              {"/room.ravlon", "Bandwidth [Hz]: 1e9 is out of range; at 48000 Hz "
                                               "with the Hanning window it must be from 0.0916 "
                                               "to 64000 Hz"}}) {
        fileAnswers = {TempDir() + file};
        messages.clear();
        Form1->openfileaction->trigger();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, text);
    }
    EXPECT_EQ(logText().find("Exception at"), std::string::npos) << logText();
    // A failure of the program is still logged and asks for the log file.
    messages.clear();
    RunGuarded(Form1, [] { throw Exception("a fault"); });
    EXPECT_NE(logText().find("Message = a fault"), std::string::npos) << logText();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, "Logfile created");
    TOstrelIni().WriteBool("ErrorLog", "LogErrors", false);
}
