// The band results view through the simulated room: live values equal
// ravlon-analyze's on the saved recording to the digit shown, the export
// equals the tool's output byte for byte, the copy, the grey values with
// their reasons, the results of clipped cycles, the main window's cycle
// read-out, and the run that stops itself when converged.
#include "../app/app_fixture.h"
#include "../core/bands/room_recording.h"

#include "core/bands/recording_results.h"
#include "core/base/numtext.h"
#include "core/room/room_model.h"
#include "views/bands_view.h"

#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTableWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace ravlon;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The standard output of a shell command.
std::string Output(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// The standard output of ravlon-analyze with args.
std::string Analyze(const std::vector<std::string>& args) {
    std::string cmd = RAVLON_ANALYZE;
    for (const std::string& a : args) cmd += " '" + a + "'";
    return Output(cmd);
}

class BandsView : public AppFixture {
protected:
    TBandsView* Bands() { return windows->Bands.get(); }

    void Settings(const char* rate, const char* bandwidth, const char* pre, const char* noise,
                  const char* post) {
        Form1->sfedit->setText(rate);
        Form1->bwedit->setText(bandwidth);
        Form1->prenoiseedit->setText(pre);
        Form1->noiseedit->setText(noise);
        Form1->postnoiseedit->setText(post);
    }

    // The main window's permanent status text that starts with "Cycle ".
    std::string CycleStatus() {
        for (QLabel* l : Form1->statusBar()->findChildren<QLabel*>())
            if (l->text().startsWith("Cycle ") && l->text().contains("Tmid"))
                return l->text().toStdString();
        return "";
    }

    // What the tool evaluates on the saved recording, as rows of the view.
    static TBandTable ToolTable(const std::string& file, TBandSet set) {
        TSMPfile rec;
        EXPECT_TRUE(rec.open_file(file, true));
        TResultsReport r;
        r.Bandwidth = 50;
        r.InitialDrop = 5;
        r.AdditionalDrop = 30;
        r.Volume = 100; // the radius view's volume
        r.Set = set;
        AnalyseRecordingResults(rec, r);
        TBandTable t;
        t.Rows = MakeBandRows(r.Bands, set, r.Cycles, {});
        return t;
    }

    // Every cell the view shows, but the change since the previous cycle,
    // has the tool's digits and validity. During a run the per-bin T60 (the
    // reverberation time view's) follows the noise reference of the
    // spectrogram's repaints, which fall anywhere in the next cycle; an
    // opened recording has it at the end of every cycle, as the tool.
    void ExpectShownAsTheTool(const TBandTable& tool, bool withPerBin) {
        const TBandTable& shown = Bands()->Shown();
        ASSERT_EQ(shown.Rows.size(), tool.Rows.size());
        ASSERT_EQ(Bands()->table->rowCount(), static_cast<int>(tool.Rows.size()));
        const size_t perBin = 9, change = 10;
        ASSERT_EQ(BandColumnTitles()[perBin], "T60 bins [s]");
        for (size_t r = 0; r < tool.Rows.size(); ++r) {
            const std::vector<TCellText> view = BandRowTexts(shown.Rows[r]);
            const std::vector<TCellText> ref = BandRowTexts(tool.Rows[r]);
            for (size_t c = 0; c < change; ++c) {
                if (c == perBin && !withPerBin) continue;
                SCOPED_TRACE(ref[0].Text + " Hz, " + BandColumnTitles()[c]);
                EXPECT_EQ(view[c].Text, ref[c].Text);
                EXPECT_EQ(view[c].Valid, ref[c].Valid);
                EXPECT_EQ(Bands()->table->item(int(r), int(c))->text().toStdString(), ref[c].Text);
            }
        }
    }
};

} // namespace

TEST_F(BandsView, ShowsTheToolsNumbersLiveAndExportsTheToolsFiles) {
    SetUserDecimalSeparator('.');
    StartForms("room:t60=125:0.4/1000:1.0/8000:0.6,gain=-10,pace=fast");
    Settings("44100", "50", "0.25", "1.25", "2");
    PressRun();
    ASSERT_TRUE(Form1->Running);
    ASSERT_TRUE(WaitForCycles(3));
    ASSERT_TRUE(WaitFor([&] { return Bands()->Monitor().Table().Cycles >= 3; }));
    EXPECT_EQ(CycleStatus(), CycleSummary(Bands()->Monitor().Table()));
    ASSERT_TRUE(WaitForCycles(17));
    Form1->RunAction->trigger();
    ASSERT_FALSE(Form1->Running);
    const std::string saved = TempDir() + "/room.ravlon";
    fileAnswers = {saved};
    ASSERT_TRUE(Form1->savefileactionExecute());

    // The view as it stands after the run, octaves then thirds.
    const TBandTable octaves = ToolTable(saved, TBandSet::Octave);
    const TBandTable thirds = ToolTable(saved, TBandSet::ThirdOctave);
    ExpectShownAsTheTool(octaves, false);
    EXPECT_EQ(Bands()->Shown().Cycles, octaves.Rows[0].Decays);
    EXPECT_GE(octaves.Rows[0].Decays, 20);
    EXPECT_EQ(CycleStatus(), CycleSummary(Bands()->Shown()));
    const RoomConfig room = RoomConfig::parse("t60=125:0.4/1000:1.0/8000:0.6");
    for (const TBandRow& row : Bands()->Shown().Rows) {
        if (row.Band.Nominal < 500 || row.Band.Nominal > 4000) continue;
        SCOPED_TRACE(row.Band.Nominal);
        EXPECT_TRUE(row.T30.Valid);
        EXPECT_NEAR(row.T30.Value, room.t60At(row.Band.Centre), 0.05 * room.t60At(row.Band.Centre));
    }
    // The low bands of a 0.4 s room in the radius view's 100 m3 are modal.
    QTableWidgetItem* t30at63 = Bands()->table->item(0, 4);
    EXPECT_EQ(t30at63->toolTip().toStdString(), "below Schroeder frequency");
    EXPECT_NE(t30at63->foreground().color(), QColor(Qt::black));
    Bands()->table->setCurrentCell(0, 4);
    EXPECT_NE(Bands()->statusline->text().indexOf("T30 [s] at 63 Hz not valid: below Schroeder"),
              -1);

    Bands()->CopyAction->trigger();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.toStdString(), BandTableText(Bands()->Shown()));
    EXPECT_TRUE(copied.startsWith("Band [Hz]\tEDT [s]\tT20 [s]"));

    // Export: the tool's bytes for the same recording and settings.
    const std::vector<std::string> common{saved, "--bandwidth", "50", "--volume", "100"};
    const auto tool = [&](std::vector<std::string> more) {
        more.insert(more.begin(), common.begin(), common.end());
        return Analyze(more);
    };
    const std::string json = TempDir() + "/bands.json", csv = TempDir() + "/bands.csv";
    ASSERT_TRUE(Bands()->ExportResults(json));
    EXPECT_EQ(ReadAll(json), tool({"--format", "json"}));
    // Python's strict reader gives back the values shown.
    if (std::system("python3 -c 'import json' >/dev/null 2>&1") == 0) {
        const std::string read = Output(
            "python3 -c \"import json; d = json.load(open('" + json +
            "'), parse_constant=lambda c: 1 / 0); b = d['bands'][4]['t30']; print('%d %.3g %.2g' "
            "% (d['cycles'], b['t_s'], b['sigma_s']))\"");
        const TBandRow& k1 = octaves.Rows[4];
        EXPECT_EQ(read, std::to_string(k1.Decays) + " " + BandRowTexts(k1)[4].Text + " " +
                            BandRowTexts(k1)[5].Text + "\n");
    }

    Bands()->setcombo->setCurrentIndex(1);
    ExpectShownAsTheTool(thirds, false);
    Form1->OpenRecording(saved);
    ExpectShownAsTheTool(thirds, true);
    Bands()->setcombo->setCurrentIndex(0);
    ExpectShownAsTheTool(octaves, true);
    Bands()->setcombo->setCurrentIndex(1);
    ASSERT_TRUE(Bands()->ExportResults(csv));
    EXPECT_EQ(ReadAll(csv), tool({"--format", "csv", "--bands", "third"}));
    // The spectrogram's bands, as --method spectrogram.
    Bands()->methodcombo->setCurrentIndex(1);
    ASSERT_TRUE(Bands()->ExportResults(csv));
    EXPECT_EQ(ReadAll(csv),
              tool({"--format", "csv", "--bands", "third", "--method", "spectrogram"}));
    EXPECT_TRUE(messages.empty()) << MessageTexts();
}

TEST_F(BandsView, ExportTellsWhatIsMissingAndKeepsAFileItCannotReplace) {
    StartForms("room:t60=0.3,pace=fast");
    const std::string name = TempDir() + "/out.csv";
    EXPECT_FALSE(Bands()->ExportResults(name));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "There are no results to export yet: run a measurement or open a recording.");
    Settings("16000", "100", "0.1", "0.4", "0.6");
    PressRun();
    ASSERT_TRUE(WaitForCycles(2));
    EXPECT_FALSE(Bands()->ExportResults(name));
    EXPECT_EQ(messages.back().text, "Stop the measurement before exporting its results.");
    Form1->RunAction->trigger();
    EXPECT_FALSE(Bands()->ExportResults(TempDir() + "/missing/out.csv"));
    EXPECT_NE(messages.back().text.find("could not be written"), std::string::npos);
    EXPECT_TRUE(Bands()->ExportResults(name));
    EXPECT_EQ(ReadAll(name).substr(0, 10), "nominal_hz");
}

// A recording whose input clipped in its last cycle: every result averages
// it; opening a clean one after it clears the marks.
TEST_F(BandsView, ResultsAveragingAClippedCycleAreGreyWithTheReason) {
    StartForms("room:t60=0.3,pace=fast");
    test::RoomRecordingSetup setup;
    setup.Room = test::BandTestRoom();
    setup.Run.SampFreq = 16000;
    setup.Run.PreNoise = 0.2;
    setup.Run.Noise = 0.6;
    setup.Run.PostNoise = 1.5;
    setup.Cycles = 3;
    const std::vector<int16_t> clean = test::RoomRecordingSamples(setup);
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
    for (const bool clipped : {true, false}) {
        SCOPED_TRACE(clipped);
        std::vector<int16_t> x = clean;
        if (clipped) x[size_t(2 * plan.Pos3 + plan.Pos1 + 100)] = -32768;
        const std::string name = TempDir() + (clipped ? "/clipped.ravlon" : "/clean.ravlon");
        ASSERT_TRUE(test::WriteRecording(name, 16000, plan.Pos1, plan.Pos2, plan.Pos3, x));
        Form1->OpenRecording(name);
        ASSERT_EQ(Bands()->Shown().Cycles, 3);
        const TBandRow& k1 = Bands()->Shown().Rows.at(4);
        ASSERT_EQ(k1.Band.Nominal, 1000);
        EXPECT_EQ(k1.EDT.Valid, !clipped);
        EXPECT_EQ(k1.T30.Valid, !clipped);
        for (const int column : {1, 2, 4})
            EXPECT_EQ(Bands()->table->item(4, column)->toolTip(), clipped ? "clipped" : "");
        Bands()->table->setCurrentCell(4, 4);
        EXPECT_EQ(Bands()->statusline->text().contains("T30 [s] at 1000 Hz not valid: clipped"),
                  clipped);
        EXPECT_EQ(Bands()->tmidlabel->text() == "Tmid -", clipped);
    }
    EXPECT_TRUE(messages.empty()) << MessageTexts();
}

// A room of reverberation time T decays over B T: its averaged decays settle in
// fewer cycles the longer T (ISO 3382-2), and never before 3.
TEST_F(BandsView, StopWhenConvergedEndsTheRunByItselfKeepingTheRecording) {
    struct Room {
        const char* audio;
        const char* pre;
        const char* noise;
        const char* post;
        int64_t stoppedAfter = 0;
    };
    Room rooms[] = {{"room:t60=0.4,gain=-12,pace=fast", "0.1", "0.5", "0.8"},
                    {"room:t60=2,gain=-12,pace=fast", "0.2", "1.5", "3"}};
    for (Room& room : rooms) {
        SCOPED_TRACE(room.audio);
        StartForms(room.audio);
        Settings("16000", "100", room.pre, room.noise, room.post);
        Bands()->stopcheck->setChecked(true);
        EXPECT_EQ(Bands()->targetedit->value(), 2.0);
        PressRun();
        ASSERT_TRUE(Form1->Running);
        ASSERT_TRUE(WaitFor([&] { return !Form1->Running; }, 300000));
        room.stoppedAfter = Bands()->Monitor().Cycles();
        EXPECT_GE(room.stoppedAfter, 3);
        EXPECT_TRUE(Form1->Unsaved());
        EXPECT_TRUE(Form1->HasRecording());
        // Stopped a few buffers on, before another cycle completed.
        EXPECT_TRUE(Bands()->statusline->text().startsWith(
            QString("Converged after %1 cycles: the measurement was stopped.")
                .arg(room.stoppedAfter)))
            << Bands()->statusline->text().toStdString();
        EXPECT_TRUE(Converged(Bands()->Monitor().Octaves(), 2.0));
        Form1->close();
        windows.reset();
        Form1 = nullptr;
    }
    EXPECT_GT(rooms[0].stoppedAfter, rooms[1].stoppedAfter);
}
