// The main window's edge cases: the warning, refused starts, opening and
// saving recordings, closing during a run.
#include "app_fixture.h"

#include "axes/axis.h"
#include "core/recording/recording_file.h"
#include "services/recent_files.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>

using namespace ravlon;

namespace {

// Writes a one-channel recording with the main window's items and the given samples.
void WriteRecording(const std::string& name, int rate, int32_t p1, int32_t p2, int32_t p3,
                    const std::vector<int16_t>& samples) {
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.insert_nonpresent_defaults();
    f.set_sftot(rate);
    f.set_item("pos1", std::to_string(p1));
    f.set_item("pos2", std::to_string(p2));
    f.set_item("pos3", std::to_string(p3));
    ASSERT_TRUE(f.save_file(""));
    auto block = std::make_unique<TSMPBlock>();
    for (size_t i = 0; i < samples.size();) {
        size_t n = std::min<size_t>(16384, samples.size() - i);
        block->Count = static_cast<int32_t>(n);
        std::copy(samples.begin() + static_cast<long>(i),
                  samples.begin() + static_cast<long>(i + n), block->Samples);
        f.write_block(0, *block);
        i += n;
    }
    ASSERT_TRUE(f.close_file());
}

std::vector<int16_t> Noise(size_t n) {
    std::vector<int16_t> v(n);
    uint32_t seed = 1;
    for (auto& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(seed >> 16);
    }
    return v;
}

} // namespace

class MainWindow : public AppFixture {};

TEST_F(MainWindow, StartsWithTheStoredSettings) {
    StartForms("room:t60=0.5,pace=fast");
    EXPECT_EQ(Form1->windowTitle(), "Ravlon");
    EXPECT_EQ(Form1->sfedit->text(), "48000");
    EXPECT_EQ(Form1->bwedit->text(), "500");
    EXPECT_EQ(Form1->windowcombo->count(), 5);
    EXPECT_EQ(Form1->windowcombo->currentText(), "Hanning");
    EXPECT_EQ(Form1->prenoiseedit->text(), "1");
    EXPECT_FALSE(Form1->Running);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_EQ(Form2->InitialDrop(), 5);
    EXPECT_EQ(Form2->AdditionalDrop(), 30);
    EXPECT_EQ(Form2->additionalleveledit->text(), "30");
    EXPECT_EQ(Form2->StatusText(0), "1000 Hz");
    EXPECT_DOUBLE_EQ(Form1->faxis->MarkerValue(), 1000);
    // Nothing recorded yet: saving is not offered, and a save says so instead
    // of writing a file that cannot be opened.
    EXPECT_TRUE(Form1->TmpFileName.empty());
    Form1->file1Click();
    EXPECT_FALSE(Form1->savefileaction->isEnabled());
    std::string saved = TempDir() + "/empty.ravlon";
    EXPECT_FALSE(Form1->SaveRecording(saved));
    EXPECT_FALSE(std::filesystem::exists(saved));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Save recording");
}

TEST_F(MainWindow, WarningAtEveryStartUntilTicked) {
    StartForms("room:t60=0.5,pace=fast");
    PressRun(false);
    EXPECT_TRUE(warningShown);
    ASSERT_TRUE(Form1->Running);
    Form1->RunAction->trigger();
    PressRun(false);
    EXPECT_TRUE(warningShown);
    Form1->RunAction->trigger();
    PressRun(true);
    EXPECT_TRUE(warningShown);
    Form1->RunAction->trigger();
    PressRun(true);
    EXPECT_FALSE(warningShown);
    EXPECT_TRUE(Form1->Running);
    Form1->RunAction->trigger();
}

TEST_F(MainWindow, RefusedStartLeavesTheWindowIdle) {
    StartForms("room:t60=0.5,pace=fast");
    // The button's slot hands the error to the application's handler (a
    // message box); nothing passes through Qt's signal code.
    const std::vector<std::pair<QLineEdit * TForm1::*, const char*>> refused = {
        {&TForm1::bwedit, "abc"},          // not a number
        {&TForm1::bwedit, "0.001"},        // window size far beyond 2^20
        {&TForm1::postnoiseedit, "0.001"}, // no pre-noise, no noise: no whole block
    };
    Form1->prenoiseedit->setText("0");
    Form1->noiseedit->setText("0");
    for (auto [edit, text] : refused) {
        Form1->bwedit->setText("500");
        Form1->postnoiseedit->setText("1");
        (Form1->*edit)->setText(text);
        messages.clear();
        EXPECT_NO_THROW(PressRun()) << text;
        EXPECT_EQ(messages.size(), 1u) << text;
        EXPECT_FALSE(Form1->Running) << text;
        EXPECT_FALSE(Form1->RunAction->isChecked()) << text;
        EXPECT_FALSE(Form1->MPCPlay1.Active()) << text;
    }
    // The next click starts at once.
    Form1->postnoiseedit->setText("1");
    Form1->noiseedit->setText("1");
    PressRun();
    EXPECT_TRUE(Form1->Running);
    Form1->RunAction->trigger();
}

TEST_F(MainWindow, ZeroPreAndPostNoise) {
    StartForms("room:t60=0.5,pace=fast");
    Form1->prenoiseedit->setText("0");
    Form1->postnoiseedit->setText("0");
    std::vector<int16_t> played;
    auto stash = Form1->MPCPlay1.OnStash;
    Form1->MPCPlay1.OnStash = [&](TWaveChunk& arr, int& used, bool& last) {
        stash(arr, used, last);
        played.insert(played.end(), arr.begin(), arr.begin() + used);
    };
    PressRun();
    ASSERT_TRUE(WaitFor([&] { return played.size() >= 3 * 48128; }));
    Form1->RunAction->trigger();
    EXPECT_EQ(Form1->Store().Pos1(), 0);
    EXPECT_EQ(Form1->Store().Pos2(), 48128);
    EXPECT_EQ(Form1->Store().Pos3(), 48128);
    // Every sample is noise: the cycle is the noise alone.
    size_t zeros = std::count(played.begin(), played.begin() + 3 * 48128, int16_t{0});
    EXPECT_LT(zeros, 10u);
}

TEST_F(MainWindow, Opening44100HzRecording) {
    StartForms("room:t60=0.5,pace=fast");
    std::string name = TempDir() + "/cd.ravlon";
    // 0.5 s + 1 s + 1 s at 44100 Hz in blocks of 256: 86, 172, 172 blocks.
    const int32_t p1 = 86 * 256, p2 = p1 + 172 * 256, p3 = p2 + 172 * 256;
    WriteRecording(name, 44100, p1, p2, p3, Noise(2 * p3));
    WatchWarning([&] { Form1->OpenRecording(name); });
    EXPECT_FALSE(warningShown); // opening plays nothing: no loudspeaker warning
    EXPECT_EQ(Form1->Store().SampFreq(), 44100);
    EXPECT_EQ(Form1->MPCPlay1.sfTot(), 44100);
    EXPECT_EQ(Form1->MPCRecord1.sfTot(), 44100);
    EXPECT_EQ(Form1->sfedit->text(), "48000");
    EXPECT_EQ(Form1->prenoiseedit->text().toStdString(), "0.499229");
    EXPECT_EQ(Form1->noiseedit->text().toStdString(), "0.998458");
    for (int32_t c : Form1->Store().SpecCount()) EXPECT_EQ(c, 2);
    EXPECT_DOUBLE_EQ(Form1->taxis->MaxHiValue(), p3 / 44100.0);
    EXPECT_DOUBLE_EQ(Form2->taxis->HiValue(), p3 / 44100.0);
}

TEST_F(MainWindow, OpeningBadRecordingsRaisesClearly) {
    StartForms("room:t60=0.5,pace=fast");
    EXPECT_THROW(Form1->OpenRecording(TempDir() + "/missing.ravlon"), Exception);
    EXPECT_EQ(Form1->RecentFiles1->Count(), 0) << "a file that cannot be opened stays listed";
    std::string nopos = TempDir() + "/nopos.ravlon";
    {
        TSMPfile f;
        ASSERT_TRUE(f.new_file(nopos));
        f.insert_nonpresent_defaults();
        f.set_sftot(48000);
        f.save_file("");
        f.close_file();
    }
    try {
        Form1->OpenRecording(nopos);
        ADD_FAILURE() << "opened";
    } catch (const EInputError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "nopos.ravlon is not a Ravlon measurement: its header has no item \"pos1\"");
    }
    EXPECT_FALSE(Form1->SMPfile1.IsOpen());
}

TEST_F(MainWindow, RecordingNamedOnTheCommandLineOpensOnceTheWindowsAreUp) {
    StartForms("room:t60=0.5,pace=fast");
    const int32_t p1 = 86 * 256, p2 = p1 + 172 * 256, p3 = p2 + 172 * 256;
    WriteRecording(TempDir() + "/cd.ravlon", 44100, p1, p2, p3, Noise(p3));
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(TempDir());
    OpenRecordingAtStart(*Form1, "cd.ravlon"); // as `ravlon cd.ravlon` in that folder
    std::filesystem::current_path(cwd);
    EXPECT_EQ(Form1->Store().SampFreq(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Form1->Store().SampFreq(), 44100);
    ASSERT_EQ(Form1->RecentFiles1->Count(), 1);
    EXPECT_EQ(Form1->RecentFiles1->File(1), TempDir() + "/cd.ravlon");
    // A file that cannot be opened is told in a message box.
    OpenRecordingAtStart(*Form1, TempDir() + "/missing.ravlon");
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(
        messages[0].text.rfind("Cannot open the recording " + TempDir() + "/missing.ravlon", 0),
        0u);
}

TEST_F(MainWindow, OpeningIsRefusedDuringARun) {
    StartForms("room:t60=0.5,pace=fast");
    std::string name = TempDir() + "/r.ravlon";
    WriteRecording(name, 48000, 48128, 96256, 144384, Noise(144384));
    PressRun();
    Form1->file1Click();
    EXPECT_FALSE(Form1->openfileaction->isEnabled());
    Form1->OpenRecording(name);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Stop the measurement before opening a recording.");
    EXPECT_TRUE(Form1->Running);
    Form1->RunAction->trigger();
    EXPECT_TRUE(Form1->openfileaction->isEnabled());
}

TEST_F(MainWindow, FailedSaveTellsTheUser) {
    StartForms("room:t60=0.5,pace=fast");
    Form1->SaveRecording(TempDir() + "/no/such/folder/x.ravlon");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Save recording");
}

TEST_F(MainWindow, ClosingDuringARunStopsAndRemovesTheTemporaryFile) {
    StartForms("room:t60=0.5,pace=fast");
    PressRun();
    ASSERT_TRUE(WaitFor([this] { return Form1->Store().FrameIndex() > 10; }));
    std::string tmp = Form1->TmpFileName;
    unsavedAnswer = IDNO;
    Form1->close();
    EXPECT_NE(MessageTexts().find(kUnsavedQuestion), std::string::npos);
    EXPECT_FALSE(Form1->Running);
    EXPECT_FALSE(Form1->MPCPlay1.Active());
    EXPECT_FALSE(Form1->MPCRecord1.Active());
    EXPECT_FALSE(std::filesystem::exists(tmp));
}

TEST_F(MainWindow, ShowActionsAndClosingViews) {
    StartForms("room:t60=0.5,pace=fast");
    Form1->ShowT60Action->trigger();
    EXPECT_TRUE(Form4->isVisible());
    EXPECT_DOUBLE_EQ(Form4->taxis->MinHiValue(), 0.01);
    Form4->close();
    EXPECT_FALSE(Form1->ShowT60Action->isChecked());
    Form1->Showdecayaction->trigger();
    EXPECT_TRUE(Form2->isVisible());
    Form1->Showdecayaction->trigger();
    EXPECT_FALSE(Form2->isVisible());
}

TEST_F(MainWindow, DroppedAudioIsShownUntilTheNextRun) {
    StartForms("room:t60=0.5,pace=fast");
    PressRun();
    Form1->MPCRecord1.OnDropout();
    Form1->MPCPlay1.OnDropout();
    EXPECT_EQ(Form1->DroppedBuffers(), 2u);
    EXPECT_NE(Form1->StatusText().find("dropped 2 time(s)"), std::string::npos)
        << Form1->StatusText();
    Form1->RunAction->trigger();
    // The notice stays after the run, with the measurement it concerns.
    EXPECT_FALSE(Form1->StatusText().empty());
    PressRun();
    EXPECT_TRUE(Form1->StatusText().empty());
    EXPECT_EQ(Form1->DroppedBuffers(), 0u);
    Form1->RunAction->trigger();
}
