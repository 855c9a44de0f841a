// Renders the main window and the four result views to PNG files after a short
// measurement through the simulated room (offscreen), and the band results
// view after 10 cycles of it. Usage:
//   ravlon_views_screenshot <output folder> [room settings] [cycles]
#include "app/application.h"
#include "axes/axis.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file.h"
#include "core/views/view_math.h"
#include "measure/main_window.h"
#include "platform/messagebox.h"
#include "views/bands_view.h"
#include "views/decay_view.h"
#include "views/radius_view.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "views/warning_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? argv[1] : "screenshots";
    const std::string room = argc > 2 ? argv[2] : "room:t60=125:0.6/1000:1.0/8000:0.5,pace=fast";
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
    const uint64_t start = Form1->Spec().RepaintRequests();
    QElapsedTimer timer;
    timer.start();
    while (Form1->Spec().RepaintRequests() < start + static_cast<uint64_t>(recorded) &&
           timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    Form1->RunAction->trigger();
    // The run stops a few buffers after the last cycle, wherever the event loop
    // was: open exactly the recorded cycles, so the pictures are the same at
    // every run of this program.
    const QString cut = QDir(folder).filePath("screenshot-cycles.ravlon");
    const QString bandCut = QDir(folder).filePath("screenshot-band-cycles.ravlon");
    bool ok = CopyCycles(Form1->TmpFileName, bandCut.toStdString(), kBandCycles);
    if (!ok) std::fprintf(stderr, "the recording could not be cut to %d cycles\n", kBandCycles);
    if (!CopyCycles(Form1->TmpFileName, cut.toStdString(), cycles)) {
        std::fprintf(stderr, "the recording could not be cut to %d cycles\n", cycles);
        return 1;
    }
    if (ok) {
        Form1->OpenRecording(bandCut.toStdString());
        windows->Bands->show();
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ok = Save(windows->Bands.get(), folder, "bands.png");
        windows->Bands->close();
    }
    QFile::remove(bandCut);
    Form1->OpenRecording(cut.toStdString());
    QFile::remove(cut);

    for (QAction* a : {Form1->ShowT60Action, Form1->Showdecayaction, Form1->showresponseaction,
                       Form1->Showrraction})
        a->trigger();
    // The level range of the measurement, as a user would drag the level axes there.
    const ravlon::TSpectrogram& s = Form1->Spec();
    Form2->SetFrequency(1000);
    double l0 = 0;
    try {
        const int32_t b = ravlon::FrequencyToBin(1000, s.Bins(), s.SampFreq());
        l0 = ravlon::PowerToDecibels(ravlon::FDiv(s.NoiseSpecSum()[static_cast<size_t>(b)],
                                                  static_cast<double>(s.NoiseSpecCount())));
    } catch (const std::exception&) {
        std::fprintf(stderr, "no noise reference\n");
    }
    const double lo = 10 * std::floor((l0 - 60) / 10), hi = lo + 80;
    Form2->laxis->SetRange(lo, hi);
    Form3->laxis->SetRange(lo, hi);
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
    Form1->close();
    windows.reset();
    ravlon::SetMessageBoxHandler(nullptr);
    return ok ? 0 : 1;
}
