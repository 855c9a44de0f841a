// Sessions in the program: positions added from the main window's recording,
// the positions panel and its check boxes, a session with problems, the
// questions before anything in the folder is replaced, the report, WAV and
// image exports, the average in the bands view.
#include "../app/app_fixture.h"
#include "../core/bands/room_recording.h"

#include "core/session/recording_wav.h"
#include "core/session/session_manifest.h"
#include "session/export_actions.h"
#include "session/positions_panel.h"
#include "session/session_controller.h"
#include "session/session_dialogs.h"
#include "views/bands_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QWindow>

#include <fstream>

using namespace ravlon;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Sessions : public AppFixture {
protected:
    void Start() {
        StartForms("room:t60=0.8,pace=fast");
        // The main window is drawn (its paint updates the noise reference) once it is exposed.
        WaitFor([this] { return Form1->windowHandle() && Form1->windowHandle()->isExposed(); });
        sessions = windows->Sessions.get();
        exports = windows->Exports.get();
        // Questions whose text holds one of these get the answer; others No.
        SetMessageBoxHandler([this](const std::string& t, const std::string& c, int f) {
            messages.push_back({t, c, f});
            for (const auto& [part, answer] : answers)
                if (t.find(part) != std::string::npos) return answer;
            return (f & 0x0F) == MB_YESNO ? int(IDNO) : int(IDOK);
        });
        sessions->AskSessionInfo = [] {
            TSessionInfo info;
            info.Room = "Hall";
            info.Volume = 250;
            return std::optional(info);
        };
    }
    // A simulated-room recording of the given seed, 16 kHz, four cycles.
    std::string Recording(int seed) {
        const std::string name = TempDir() + "/room" + std::to_string(seed) + ".ravlon";
        test::RoomRecordingSetup setup;
        setup.Room =
            RoomConfig::parse("t60=0.8,noise=-70,gain=-10,pace=fast,seed=" + std::to_string(seed));
        setup.Run.SampFreq = 16000;
        setup.Run.PreNoise = 0.2;
        setup.Run.Noise = 0.8;
        setup.Run.PostNoise = 1.2;
        setup.Cycles = 4;
        EXPECT_TRUE(test::WriteRoomRecording(name, setup));
        return name;
    }
    // A session in folder "hall" with positions P1..Pn from opened recordings.
    std::string MakeSession(int n) {
        const std::string folder = TempDir() + "/hall";
        fs::create_directories(folder);
        EXPECT_TRUE(sessions->NewSession(folder, *sessions->AskSessionInfo()));
        for (int i = 1; i <= n; ++i) {
            Form1->OpenRecording(Recording(i));
            EXPECT_TRUE(sessions->AddPosition("P" + std::to_string(i))) << MessageTexts();
        }
        return folder;
    }

    TSessionController* sessions = nullptr;
    TExportActions* exports = nullptr;
    std::vector<std::pair<std::string, int>> answers;
};

TEST_F(Sessions, PositionsAddedFromTheMainWindowAreListedAndAveraged) {
    Start();
    QStringList file;
    for (QAction* a : Form1->file1->actions()) file << a->text();
    EXPECT_GE(file.join("|").indexOf("New session...|Open session...|Add this recording as "
                                     "position...||Export recording as WAV...|Export image...|"
                                     "Export report...||E&xit"),
              0)
        << file.join("|").toStdString();

    const std::string folder = MakeSession(3);
    EXPECT_TRUE(messages.empty()) << MessageTexts();
    TSessionLoad load = ReadSession(folder);
    ASSERT_EQ(load.Session.Positions.size(), 3u);
    EXPECT_EQ(load.Session.Info.Room, "Hall");
    const TSessionPosition& p2 = load.Session.Positions[1];
    EXPECT_EQ(p2.Recording, "P2.ravlon");
    EXPECT_TRUE(fs::is_regular_file(folder + "/P2.ravlon"));
    EXPECT_EQ(p2.Settings.SampFreq, 16000);
    EXPECT_EQ(p2.Settings.Cycles, 4);
    EXPECT_EQ(p2.Settings.Window, "Hanning");
    EXPECT_EQ(p2.OutputDevice, ""); // an opened recording: the devices are not known

    // The panel lists them with Tmid; the average is of the three.
    TPositionsPanel* panel = sessions->Panel();
    EXPECT_TRUE(panel->isVisible());
    ASSERT_EQ(panel->Table->rowCount(), 3);
    EXPECT_EQ(panel->Table->item(2, TPositionsPanel::ColLabel)->text(), "P3");
    EXPECT_NE(panel->Table->item(2, TPositionsPanel::ColTmid)->text(), "-");
    EXPECT_EQ(sessions->Average().Positions, 3);
    const auto t30 = [&](size_t position, size_t band) {
        return sessions->Positions()[position].Results->Bands[band].T30.T;
    };
    const TAveragedBand& k1 = sessions->Average().Bands[4];
    ASSERT_EQ(k1.Band.Nominal, 1000);
    EXPECT_NEAR(k1.T30.Mean, (t30(0, 4) + t30(1, 4) + t30(2, 4)) / 3, 1e-12);

    // The bands view shows the average as its second source.
    TBandsView* bands = windows->Bands.get();
    ASSERT_EQ(bands->sourcecombo->findText("Session average"), 1);
    EXPECT_TRUE(bands->sourcecombo->isVisibleTo(bands));
    bands->sourcecombo->setCurrentIndex(1);
    EXPECT_EQ(bands->Shown().Rows.at(4).T30.Value, k1.T30.Mean);
    EXPECT_EQ(bands->Shown().Rows[4].Decays, 3);
    EXPECT_EQ(bands->cyclelabel->text(),
              "Average of 3 positions (n: positions with a valid value)");

    // Unticking a position leaves it out of the average and the manifest says so.
    panel->Table->item(1, TPositionsPanel::ColUse)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(sessions->Average().Positions, 2);
    EXPECT_NEAR(sessions->Average().Bands[4].T30.Mean, (t30(0, 4) + t30(2, 4)) / 2, 1e-12);
    EXPECT_EQ(bands->Shown().Rows[4].T30.Value, sessions->Average().Bands[4].T30.Mean);
    EXPECT_EQ(bands->Shown().Rows[4].Decays, 2);
    bands->setcombo->setCurrentIndex(1); // the average is of octaves
    EXPECT_TRUE(bands->Shown().Rows.empty());
    EXPECT_TRUE(bands->cyclelabel->text().startsWith("The session average is per octave band"));
    bands->setcombo->setCurrentIndex(0);
    EXPECT_EQ(bands->sourcecombo->count(), 2);
    EXPECT_FALSE(ReadSession(folder).Session.Positions[1].Included);

    // A label in use, and a file of the new label's name: nothing is replaced unasked.
    EXPECT_FALSE(sessions->AddPosition("P1"));
    EXPECT_NE(MessageTexts().find("already has a position \"P1\""), std::string::npos);
    std::ofstream(folder + "/P4.ravlon") << "keep";
    EXPECT_FALSE(sessions->AddPosition("P4"));
    EXPECT_NE(MessageTexts().find("P4.ravlon already exists. Replace it?"), std::string::npos);
    EXPECT_EQ(ReadAll(folder + "/P4.ravlon"), "keep");
    answers = {{"Replace it?", IDYES}};
    EXPECT_TRUE(sessions->AddPosition("P4"));
    EXPECT_EQ(ReadSession(folder).Session.Positions.size(), 4u);

    // Opening a position opens its recording as "Open recording..." does.
    sessions->OpenPosition(0);
    EXPECT_EQ(Form1->Store().SampFreq(), 16000);
    EXPECT_FALSE(Form1->RunRecording);
}

TEST_F(Sessions, AMovedSessionWithProblemsOpensWhatItCanAndAsksBeforeRewriting) {
    Start();
    const std::string folder = MakeSession(2);
    TSessionLoad load = ReadSession(folder);
    TSessionPosition twice = load.Session.Positions[0];
    twice.Label = "again";
    TSessionPosition missing = load.Session.Positions[1];
    missing.Label = "gone";
    missing.Recording = "gone.ravlon";
    load.Session.Positions.push_back(twice);
    load.Session.Positions.push_back(missing);
    WriteSession(load.Session);
    const std::string moved = TempDir() + "/moved";
    fs::rename(folder, moved);
    const std::string manifest = ReadAll(moved + "/session.json");

    messages.clear();
    ASSERT_TRUE(sessions->OpenSession(moved + "/session.json"));
    ASSERT_EQ(messages.size(), 1u) << MessageTexts();
    EXPECT_NE(messages[0].text.find("\"again\" names the recording P1.ravlon again"),
              std::string::npos)
        << messages[0].text;
    EXPECT_NE(messages[0].text.find("gone.ravlon is missing"), std::string::npos);
    ASSERT_EQ(sessions->Panel()->Table->rowCount(), 3); // P1, P2, gone
    EXPECT_EQ(sessions->Panel()->Table->item(2, TPositionsPanel::ColNote)->text(),
              "recording missing");
    EXPECT_EQ(sessions->Average().Positions, 2); // the moved recordings are found

    // The manifest lost a position on reading: replacing it needs a yes.
    Form1->OpenRecording(Recording(3));
    EXPECT_FALSE(sessions->AddPosition("P3"));
    EXPECT_NE(MessageTexts().find("could not be read whole"), std::string::npos);
    EXPECT_EQ(ReadAll(moved + "/session.json"), manifest);
    EXPECT_FALSE(fs::exists(moved + "/P3.ravlon"));

    // A folder that already holds a session is not overwritten by a new one.
    messages.clear();
    EXPECT_FALSE(sessions->NewSession(moved, TSessionInfo{}));
    EXPECT_NE(MessageTexts().find("already holds a session. Open it?"), std::string::npos);
    EXPECT_EQ(ReadAll(moved + "/session.json"), manifest);
    // Not a session at all.
    EXPECT_FALSE(sessions->OpenSession(TempDir()));
    EXPECT_NE(MessageTexts().find("holds no session"), std::string::npos);
}

TEST_F(Sessions, ReportIsWrittenAsHtmlCsvAndPdfAskingBeforeReplacing) {
    Start();
    MakeSession(2);
    const std::string html = TempDir() + "/report.html";
    TReportChoice choice;
    choice.Pdf = true;
    choice.DecayPosition = 1;
    ASSERT_TRUE(sessions->ExportReport(html, choice)) << MessageTexts();
    const std::string page = ReadAll(html);
    EXPECT_NE(page.find("<h1>Reverberation time: Hall</h1>"), std::string::npos);
    EXPECT_NE(page.find("Decays at position P2"), std::string::npos);
    EXPECT_EQ(ReadAll(TempDir() + "/report.csv"), ReportCsv(sessions->Report(choice)));
    EXPECT_EQ(ReadAll(TempDir() + "/report.pdf").substr(0, 4), "%PDF");

    // Again: the CSV and PDF beside it are replaced only with a yes.
    std::ofstream(TempDir() + "/report.csv") << "mine";
    messages.clear();
    ASSERT_TRUE(sessions->ExportReport(html, choice));
    EXPECT_EQ(messages.size(), 2u) << MessageTexts();
    EXPECT_EQ(ReadAll(TempDir() + "/report.csv"), "mine");
}

TEST_F(Sessions, RecordingAsWavAndViewsAsImages) {
    Start();
    Form1->OpenRecording(Recording(1));
    const std::string wav = TempDir() + "/r.wav";
    ASSERT_TRUE(exports->ExportWav(wav)) << MessageTexts();
    const std::optional<TWavCycle> cycle = ReadWavCycle(wav);
    ASSERT_TRUE(cycle);
    EXPECT_EQ(cycle->Pos3, Form1->Store().Pos3());

    ASSERT_EQ(exports->ViewNames().size(), 6u);
    Form1->ShowT60Action->trigger();
    const int t60 = 3;
    EXPECT_EQ(exports->ViewNames()[t60], "Reverberation time");
    QWidget* plot = exports->View(t60);
    const QSize screen = plot->size();
    exports->ExportImage(t60, TempDir() + "/t60.png");
    EXPECT_EQ(QImage(QString::fromStdString(TempDir() + "/t60.png")).size(), screen);
    exports->ExportImage(t60, TempDir() + "/big.png", QSize(900, 500));
    const QImage big(QString::fromStdString(TempDir() + "/big.png"));
    EXPECT_EQ(big.size(), QSize(900, 500));
    EXPECT_EQ(plot->size(), screen); // laid out back
    // The plot is drawn at that size: the T60 dots reach its right end.
    bool red = false;
    for (int y = 0; y < big.height(); ++y)
        red = red || (qRed(big.pixel(890, y)) > 150 && qGreen(big.pixel(890, y)) < 80);
    EXPECT_TRUE(red);
    // Each view in either format at a chosen size; a hidden view is laid out
    // for the picture and stays hidden.
    ASSERT_FALSE(Form2->isVisible());
    ASSERT_FALSE(windows->Bands->isVisible());
    EXPECT_EQ(exports->ViewNames()[5], "Band results");
    struct Image {
        int view;
        std::string file;
        QSize size;
    };
    for (const Image& i : {Image{0, "spectrogram.svg", {800, 400}},
                           {1, "decay.png", {500, 300}},
                           {5, "bands.png", {600, 400}},
                           {5, "bands.svg", {640, 420}}}) {
        SCOPED_TRACE(i.file);
        const std::string path = TempDir() + "/" + i.file;
        exports->ExportImage(i.view, path, i.size);
        if (i.file.ends_with(".svg")) {
            const std::string svg = ReadAll(path);
            EXPECT_NE(svg.find("<svg"), std::string::npos);
            EXPECT_NE(svg.find("width=\"" + std::to_string(i.size.width())), std::string::npos)
                << svg.substr(0, 400);
        } else {
            EXPECT_EQ(QImage(QString::fromStdString(path)).size(), i.size);
        }
    }
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(windows->Bands->isVisible());
    // The band results are drawn: the red T30 points.
    const QImage bands(QString::fromStdString(TempDir() + "/bands.png"));
    int t30 = 0;
    for (int y = 0; y < bands.height(); ++y)
        for (int x = 0; x < bands.width(); ++x)
            t30 += qRed(bands.pixel(x, y)) > 200 && qGreen(bands.pixel(x, y)) < 60;
    EXPECT_GT(t30, 20);
    EXPECT_THROW(exports->ExportImage(7, TempDir() + "/x.png"), Exception);
    EXPECT_THROW(exports->ExportImage(0, TempDir() + "/x.png", QSize(20000, 10)), Exception);
}

TEST_F(Sessions, ARunAddedAsPositionRecordsItsDevicesAndSettings) {
    Start();
    const std::string folder = TempDir() + "/run";
    fs::create_directories(folder);
    ASSERT_TRUE(sessions->NewSession(folder, TSessionInfo{}));
    EXPECT_FALSE(sessions->AddPosition("P1")); // nothing recorded yet
    Form1->sfedit->setText("16000");
    Form1->prenoiseedit->setText("0.2");
    Form1->noiseedit->setText("0.5");
    Form1->postnoiseedit->setText("0.8");
    PressRun();
    ASSERT_TRUE(WaitForCycles(2));
    EXPECT_FALSE(sessions->AddPosition("P1")); // still running
    PressRun();
    // The panel's button, as a user adds it (the menu entry was disabled until now).
    sessions->AskLabel = [](const std::string& suggested) { return std::optional(suggested); };
    messages.clear();
    sessions->Panel()->AddButton->click();
    EXPECT_TRUE(messages.empty()) << MessageTexts();
    EXPECT_FALSE(Form1->Unsaved());
    const TSessionPosition p = ReadSession(folder).Session.Positions.at(0);
    EXPECT_EQ(p.OutputDevice, "Simulated room loudspeaker");
    EXPECT_EQ(p.InputDevice, "Simulated room microphone");
    EXPECT_EQ(p.Settings.SampFreq, 16000);
    EXPECT_GE(p.Settings.Cycles, 2);
    EXPECT_NEAR(p.Settings.Noise, 0.5, 0.02);
}

TEST_F(Sessions, DialogsGiveWhatWasEnteredAndRefuseBadNumbers) {
    Start();
    TSessionInfoDialog info;
    info.RoomEdit->setText(" Hall B ");
    info.VolumeEdit->setText("1200");
    info.NotesEdit->setPlainText("empty");
    const TSessionInfo i = info.Info();
    EXPECT_EQ(i.Room, "Hall B");
    EXPECT_EQ(i.Volume, 1200);
    EXPECT_FALSE(i.Temperature);
    EXPECT_EQ(i.Notes, "empty");
    for (auto [edit, text, name] : {std::tuple{info.VolumeEdit, "abc", "Volume"},
                                    {info.VolumeEdit, "0", "Volume"},
                                    {info.HumidityEdit, "120", "Relative humidity"}}) {
        info.VolumeEdit->setText("10");
        info.HumidityEdit->clear();
        edit->setText(text);
        try {
            info.Info();
            ADD_FAILURE() << text;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(name, 0), 0u) << e.what();
        }
    }
    info.accept(); // refused with a message, the dialog stays
    EXPECT_NE(MessageTexts().find("Relative humidity: 120 is out of range"), std::string::npos);

    TReportDialog report({"P1", "P2"});
    report.TitleEdit->clear();
    report.DecayCombo->setCurrentIndex(1);
    report.PdfCheck->setChecked(true);
    const TReportChoice c = report.Choice();
    EXPECT_EQ(c.Title, "Reverberation time");
    EXPECT_EQ(c.DecayPosition, 1);
    EXPECT_TRUE(c.Pdf);

    TImageDialog image({"A", "B"}, {QSize(300, 200), QSize(400, 300)}, 1);
    EXPECT_EQ(image.ViewCombo->currentIndex(), 1);
    EXPECT_EQ(image.ScreenSize->text(), "As on screen (400 × 300 px)");
    EXPECT_FALSE(image.Choice().Size.isValid());
    image.ChosenSize->setChecked(true);
    image.WidthSpin->setValue(640);
    EXPECT_EQ(image.Choice().Size, QSize(640, 800));
}

} // namespace
