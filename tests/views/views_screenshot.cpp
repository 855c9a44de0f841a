// Renders the main window (during a short measurement through the simulated
// room, with its progress and the input meter, and after it), the four result
// views, the loudspeaker warning, the about box, the audio dialog, the check
// window, the band results view after 10 cycles, the positions panel of a
// session of three simulated positions and the first page of its report to PNG
// files (offscreen). Settings, recent files
// and window places go to a temporary folder, so every run starts from the
// same windows. RAVLON_FONT_POINTS=N renders with an N-point application font.
// Usage:
//   ravlon_views_screenshot <output folder> [room settings] [cycles]
#include "../core/bands/room_recording.h"
#include "app/application.h"
#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file.h"
#include "core/views/view_math.h"
#include "measure/audio_settings_dialog.h"
#include "measure/audio_setup.h"
#include "measure/level_check_window.h"
#include "measure/main_window.h"
#include "platform/messagebox.h"
#include "report/report_writer.h"
#include "services/about_box.h"
#include "session/positions_panel.h"
#include "session/session_controller.h"
#include "views/bands_view.h"
#include "views/decay_view.h"
#include "views/radius_view.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "views/warning_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kBandCycles = 10; // cycles of the band results picture

bool Save(QWidget* window, const QString& folder, const char* name) {
    QString path = QDir(folder).filePath(name);
    bool ok = window->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
    return ok;
}

// A left-button press at (x1, y1) and a move to (x2, y2), as the user drags.
void Drag(QWidget* w, Qt::MouseButton button, int x1, int y1, int x2, int y2) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x1, y1), w->mapToGlobal(QPointF(x1, y1)),
                      button, button, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(x2, y2), w->mapToGlobal(QPointF(x2, y2)),
                     Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x2, y2),
                        w->mapToGlobal(QPointF(x2, y2)), button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Writes the first `cycles` whole cycles of a recording to another file.
bool CopyCycles(const std::string& from, const std::string& to, int cycles) {
    ravlon::TSMPfile in, out;
    if (!in.open_file(from, true)) return false;
    const int64_t want = int64_t(cycles) * ravlon::StrToInt(in.get_item("pos3"));
    if (!out.new_file(to)) return false;
    out.setItems(in.Items());
    out.save_file("");
    auto block = std::make_unique<ravlon::TSMPBlock>();
    int64_t done = 0;
    while (done < want) {
        in.read_block(0, *block);
        if (block->Count <= 0) break;
        block->Count = int32_t(std::min<int64_t>(block->Count, want - done));
        out.write_block(0, *block);
        done += block->Count;
    }
    in.close_file();
    out.close_file();
    return done == want;
}

// A session of three positions in a simulated room (seeds 1, 2, 3), each
// opened in the main window and added as a position: the positions panel and
// the first page of the session's report.
bool SessionShots(RavlonWindows& w, const QString& folder) {
    const std::filesystem::path dir = QDir(folder).filePath("screenshot-session").toStdString();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ravlon::TSessionInfo info;
    info.Room = "Simulated hall";
    info.Volume = 300;
    info.Temperature = 21;
    info.Humidity = 45;
    bool ok = w.Sessions->NewSession(dir.string(), info);
    for (int seed = 1; ok && seed <= 3; ++seed) {
        ravlon::test::RoomRecordingSetup setup;
        setup.Room = ravlon::RoomConfig::parse(
            "t60=125:0.6/1000:1.0/8000:0.5,noise=-70,gain=-10,pace=fast,seed=" +
            std::to_string(seed));
        setup.Run.SampFreq = 48000;
        setup.Run.PreNoise = 0.2;
        setup.Run.Noise = 1;
        setup.Run.PostNoise = 1.5;
        setup.Cycles = 6;
        const std::string source = (dir / "source.ravlon").string();
        ok = ravlon::test::WriteRoomRecording(source, setup);
        w.Form1->OpenRecording(source);
        ok = ok && w.Sessions->AddPosition("P" + std::to_string(seed));
        std::filesystem::remove(source);
    }
    TPositionsPanel* panel = w.Sessions->Panel();
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ok = ok && Save(panel, folder, "positions.png");
    const QString page = QDir(folder).filePath("report-page1.png");
    const bool written = ok && ravlon::ReportPageImage(w.Sessions->Report({}), 0, 900).save(page);
    std::printf("%s %s\n", written ? "wrote" : "FAILED", page.toLocal8Bit().constData());
    std::filesystem::remove_all(dir);
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir sandbox;
    qputenv("HOME", sandbox.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (sandbox.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (sandbox.path() + "/data").toUtf8());
    QApplication app(argc, argv);
    if (int points = qEnvironmentVariableIntValue("RAVLON_FONT_POINTS"); points > 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    const QString folder = argc > 1 ? argv[1] : "screenshots";
    const std::string room =
        argc > 2 ? argv[2] : "room:t60=125:0.6/1000:1.0/8000:0.5,gain=-10,pace=fast";
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 4;
    QDir().mkpath(folder);

    ravlon::SetMessageBoxHandler([](const std::string& text, const std::string&, int flags) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return (flags & 0x0F) == ravlon::MB_YESNOCANCEL ? ravlon::IDNO : ravlon::IDOK;
    });
    std::unique_ptr<RavlonWindows> windows = CreateForms(ravlon::audio::MakeWaveBackend(room));
    TForm1* Form1 = windows->Form1.get();
    TForm2* Form2 = windows->Form2.get();
    TForm3* Form3 = windows->Form3.get();
    TForm4* Form4 = windows->Form4.get();
    TForm6* Form6 = windows->Form6.get();
    windows->Form5->nowarncheck->setChecked(true); // no warning before the run
    Form1->postnoiseedit->setText("1.5");
    Form1->RunAction->trigger();
    if (!Form1->Running) {
        std::fprintf(stderr, "the measurement did not start\n");
        return 1;
    }
    const int recorded = std::max(cycles, kBandCycles);
    const uint64_t start = Form1->Store().RepaintRequests();
    QElapsedTimer timer;
    timer.start();
    while (Form1->Store().RepaintRequests() < start + static_cast<uint64_t>(recorded) &&
           timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // During the run, while the noise plays: the progress and the input meter.
    timer.restart();
    while (windows->Model.InputMeter().Rms() < -40 && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    bool ok = Save(Form1, folder, "mainwindow-run.png");
    Form1->RunAction->trigger();
    // The run stops a few buffers after the last cycle, wherever the event loop
    // was: open exactly the recorded cycles, so the pictures are the same at
    // every run of this program.
    const QString cut = QDir(folder).filePath("screenshot-cycles.ravlon");
    const QString bandCut = QDir(folder).filePath("screenshot-band-cycles.ravlon");
    const bool bandsCut = CopyCycles(Form1->TmpFileName, bandCut.toStdString(), kBandCycles);
    ok &= bandsCut;
    if (!bandsCut)
        std::fprintf(stderr, "the recording could not be cut to %d cycles\n", kBandCycles);
    if (!CopyCycles(Form1->TmpFileName, cut.toStdString(), cycles)) {
        std::fprintf(stderr, "the recording could not be cut to %d cycles\n", cycles);
        return 1;
    }
    if (bandsCut) {
        Form1->OpenRecording(bandCut.toStdString());
        windows->Bands->show();
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ok &= Save(windows->Bands.get(), folder, "bands.png");
        windows->Bands->close();
    }
    QFile::remove(bandCut);
    Form1->OpenRecording(cut.toStdString());
    QFile::remove(cut);

    for (QAction* a : {Form1->ShowT60Action, Form1->Showdecayaction, Form1->showresponseaction,
                       Form1->Showrraction})
        a->trigger();
    // The level axes show the measurement by themselves (fitted to the new analysis).
    const ravlon::TSpectrogram& s = Form1->Store();
    Form2->SetFrequency(1000);
    double l0 = 0;
    try {
        const int32_t b = ravlon::FrequencyToBin(1000, s.Bins(), s.SampFreq());
        l0 = ravlon::PowerToDecibels(ravlon::FDiv(s.NoiseSpecSum()[static_cast<size_t>(b)],
                                                  static_cast<double>(s.NoiseSpecCount())));
    } catch (const std::exception&) {
        std::fprintf(stderr, "no noise reference\n");
    }
    // A selected time in the decay, and a line drawn with the mouse along the decay.
    const double noiseEnd = static_cast<double>(s.Pos2()) / s.SampFreq();
    Form3->SetTime(noiseEnd + 0.2);
    TAxis& taxis = *Form2->taxis;
    TAxis& laxis = *Form2->laxis;
    Drag(Form2->PaintBox1, Qt::LeftButton, taxis.ValueToPixel(noiseEnd + 0.1),
         laxis.ValueToPixel(l0 - 8), taxis.ValueToPixel(noiseEnd + 0.6),
         laxis.ValueToPixel(l0 - 38));
    Drag(Form3->PaintBox1, Qt::LeftButton, Form3->faxis->ValueToPixel(1000),
         Form3->laxis->ValueToPixel(l0), Form3->faxis->ValueToPixel(1000),
         Form3->laxis->ValueToPixel(l0));
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    ok &= Save(Form1, folder, "mainwindow.png");
    ok &= Save(Form2, folder, "decay.png");
    ok &= Save(Form3, folder, "response.png");
    ok &= Save(Form4, folder, "reverberationtime.png");
    ok &= Save(Form6, folder, "radius.png");
    for (auto [dialog, name] :
         {std::pair<QWidget*, const char*>{windows->Form5.get(), "warning.png"},
          {Form1->OstrelAbout1->Dialog(), "about.png"}}) {
        dialog->show();
        QCoreApplication::processEvents();
        ok &= Save(dialog, folder, name);
        dialog->hide();
    }

    // The audio dialog over a fixed set of devices, and the check before measuring.
    TAudioSettingsForm dialog;
    ravlon::audio::AudioDeviceInfo out{"Scarlett 2i2 USB", 2, 2, true, true, {44100, 48000, 96000}};
    ravlon::audio::AudioDeviceInfo monitor{
        "Monitor of Scarlett 2i2 USB", 0, 2, false, false, {48000}};
    ravlon::audio::AudioSettings choice;
    choice.system = "pulse";
    choice.outputDevice = out.name;
    choice.inputDevice = out.name;
    choice.inputChannel = 2;
    choice.outputAttenuation = 12;
    dialog.SetChoice(
        {{"alsa", "ALSA", true, false, {out}}, {"pulse", "Pulse", true, true, {out, monitor}}},
        choice);
    dialog.adjustSize();
    ok &= Save(&dialog, folder, "audiodevices.png");
    TLevelCheckForm& check = *windows->Audio->CheckForm;
    check.show();
    check.StartCheck();
    timer.restart();
    while (check.Active() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ok &= Save(&check, folder, "checklevels.png");
    ok &= SessionShots(*windows, folder);
    Form1->close();
    windows.reset();
    ravlon::SetMessageBoxHandler(nullptr);
    return ok ? 0 : 1;
}
