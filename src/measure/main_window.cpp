#include "measure/main_window.h"

#include "axes/axis.h"
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "platform/appexception.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "services/about_box.h"
#include "services/error_log.h"
#include "services/help_menu.h"
#include "services/program_id.h"
#include "services/recent_files.h"
#include "widgets/paint_box.h"
#include "widgets/panel.h"
#include "widgets/result_view.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <filesystem>

using namespace ravlon;

namespace {

const char* const kWindowNames[] = {"rectangular", "Bartlett", "Hamming", "Hanning", "Blackman"};
const char* const kFileFilter = "Ravlon files (*.ravlon);;All files (*.*)";
const char* const kHomePage = "https://www.gessumdata.example/ravlon/";
const char* const kVersionFile = "https://update.gessumdata.example/versions/ravlon.txt";

bool FileExists(const std::string& name) {
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

// Tool-bar pictures, drawn so that no image files are needed.
QIcon DrawIcon(int kind) {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(30, 30, 90), 2);
    p.setPen(pen);
    switch (kind) {
    case 0: { // run: a loudspeaker with sound
        p.setBrush(QColor(200, 40, 40));
        QPolygonF cone({{3, 9}, {8, 9}, {14, 4}, {14, 20}, {8, 15}, {3, 15}});
        p.drawPolygon(cone);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(12, 7, 6, 10), -60 * 16, 120 * 16);
        p.drawArc(QRectF(12, 3, 10, 18), -60 * 16, 120 * 16);
        break;
    }
    case 1: { // decay: a falling curve
        QPainterPath path({2, 5});
        path.lineTo(8, 5);
        path.cubicTo(12, 18, 16, 20, 22, 21);
        p.drawPath(path);
        break;
    }
    case 2: { // response: a spectrum
        QPainterPath path({2, 16});
        path.cubicTo(6, 6, 10, 10, 13, 9);
        path.cubicTo(16, 8, 19, 14, 22, 19);
        p.drawPath(path);
        break;
    }
    case 3: { // reverberation time: a clock
        p.drawEllipse(QRectF(3, 3, 18, 18));
        p.drawLine(QPointF(12, 12), QPointF(12, 6));
        p.drawLine(QPointF(12, 12), QPointF(16, 14));
        break;
    }
    default: { // reverberation radius: a circle around a source
        p.setBrush(QColor(30, 30, 90));
        p.drawEllipse(QRectF(10, 10, 4, 4));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 128, 0), 2));
        p.drawEllipse(QRectF(3, 3, 18, 18));
        break;
    }
    }
    return QIcon(pm);
}

// Closes a recording being read whatever happens on the way.
struct CloseOnExit {
    TSMPfile& file;
    ~CloseOnExit() { file.close_file(); }
};

} // namespace

TForm1::TForm1(MeasurementModel& model, std::shared_ptr<audio::WaveBackend> backend)
    : FFT1(model.FFT()), MPCPlay1(backend), MPCRecord1(backend), model_(model),
      spec_(model.Store()), block_(std::make_unique<TSMPBlock>()) {
    setWindowTitle("Ravlon");
    resize(640, 400);
    setMinimumSize(395, 371);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // Values stored with the window.
    FFT1.SetLogFFTSize(8);
    FFT1.SetFFTSize(256);
    FFT1.SetWindowSize(256);
    FFT1.SetWindow(TFFTWindow::Hamming);
    FFT1.Setwindowskew(0.5);
    MPCPlay1.setnChunkSamples(4096);
    MPCPlay1.setnChans(1);
    MPCPlay1.setsfTot(16000);
    MPCPlay1.setnBuffers(16);
    MPCRecord1.setnChunkSamples(4096);
    MPCRecord1.setnChans(1);
    MPCRecord1.setsfTot(16000);
    MPCRecord1.setnBuffers(16);
    MPCPlay1.OnStash = [this](TWaveChunk& arr, int& used, bool& last) {
        MPCPlay1Stash(arr, used, last);
    };
    MPCRecord1.OnFetch = [this](TWaveChunk& arr, int used, bool& last) {
        MPCRecord1Fetch(arr, used, last);
    };
    MPCPlay1.OnDropout = [this] { ReportDropout(); };
    MPCRecord1.OnDropout = [this] { ReportDropout(); };
    // A device that fails during the run ends it; the component reports the failure.
    MPCPlay1.OnMsg = [this](TMessage& m) { DeviceFailed(m.Msg); };
    MPCRecord1.OnMsg = [this](TMessage& m) { DeviceFailed(m.Msg); };
    for (TSMPfile* f : {&tmpfile, &SMPfile1}) {
        f->defheadsize = 1024;
        f->defFileType = "samp";
        f->defSfTot = 16000;
        f->defnChans = 1;
        f->setChunknSamples(16384);
        f->UseTempFile = false;
    }

    BuildActions();
    BuildControls();
    BuildServices();
    spec_.OnRepaintRequest = [this] { PaintBox1->update(); };
    subscription_ = model_.Observe([this](unsigned changes) {
        if (changes & ChangeFrequency) faxis->SetMarkerValue(model_.SnappedFrequency());
    });
}

TForm1::~TForm1() {
    spec_.OnRepaintRequest = nullptr;
}

void TForm1::BuildServices() {
    ProgId1 = new TProgId(this);
    ProgId1->SetProductName("Ravlon");
    ProgId1->SetAutoVersion(false);
    ProgId1->SetVersion("1.0.0.0");
    ProgId1->SetCompany("GessumData");
    ProgId1->SetCopyright("Copyright (c) GessumData");
    OstrelAbout1 = new TOstrelAbout(this);
    OstrelAbout1->SetTitle("Ravlon");
    OstrelAbout1->SetVersion("1.0.0.0");
    OstrelAbout1->SetBMP256(true);
    ErrorLog1 = new TErrorLog(this);
    ErrorLog1->SetOstrelabout(OstrelAbout1);
    RecentFiles1 = new TRecentFiles(this);
    RecentFiles1->setObjectName("RecentFiles1");
    RecentFiles1->SetMenu(file1);
    RecentFiles1->SetMaxItems(9);
    RecentFiles1->SetMenuPos(2);
    RecentFiles1->SetProgId(ProgId1);
    RecentFiles1->SetOnClick([this](QObject* sender, int itemNo, const std::string& name) {
        RunGuarded(this, [&] { RecentFiles1Click(sender, itemNo, name); });
    });
    HelpMenu1 = new THelpMenu(this);
    HelpMenu1->SetMainMenu(menuBar());
    HelpMenu1->SetAboutBox(OstrelAbout1);
    HelpMenu1->SetProgId(ProgId1);
    HelpMenu1->SetMenuPos(100);
    HelpMenu1->AdditionalCommands = {kHomePage};
    HelpMenu1->AdditionalMenutexts = {"Ravlon home page"};
    HelpMenu1->SetNewFullVersionURL(kVersionFile);
    HelpMenu1->SetEnableVersionCheck(true);
}

void TForm1::Loaded() {
    OstrelAbout1->Loaded();
    ErrorLog1->Loaded();
    RecentFiles1->Loaded();
    HelpMenu1->Loaded();
}

void TForm1::BuildActions() {
    auto check = [this](const char* caption, const char* hint, int icon) {
        auto* a = new QAction(DrawIcon(icon), caption, this);
        a->setCheckable(true);
        a->setToolTip(hint[0] ? hint : caption);
        a->setStatusTip(hint);
        return a;
    };
    RunAction = check("Run!", "", 0);
    Showdecayaction = check("Show decay", "Show decay", 1);
    showresponseaction = check("Show response", "Show frequency response", 2);
    ShowT60Action = check("Show T60", "Show decay time", 3);
    Showrraction = check("Show reverberation radius", "Show reverberation radius", 4);
    openfileaction = new QAction("Open recording...", this);
    openfileaction->setStatusTip("Open recording");
    savefileaction = new QAction("Save recording...", this);
    savefileaction->setStatusTip("Save recording...");
    Exit1 = new QAction("E&xit", this);

    // A check action toggles itself before its handler runs.
    connect(RunAction, &QAction::triggered, this, Guarded(this, [this] { RunActionExecute(); }));
    connect(openfileaction, &QAction::triggered, this,
            Guarded(this, [this] { openfileactionExecute(); }));
    connect(savefileaction, &QAction::triggered, this,
            Guarded(this, [this] { savefileactionExecute(); }));
    connect(Exit1, &QAction::triggered, this, Guarded(this, [this] { close(); }));

    file1 = menuBar()->addMenu("&File");
    file1->addAction(openfileaction);
    file1->addAction(savefileaction);
    file1->addSeparator();
    file1->addAction(Exit1);
    connect(file1, &QMenu::aboutToShow, this, Guarded(this, [this] { file1Click(); }));
}

void TForm1::BuildControls() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    Panel1 = new QWidget(central);
    Panel1->setFixedWidth(145);
    Panel3 = new QWidget(central);
    Panel3->setFixedWidth(60);
    Panel2 = new TPanel(central);
    Panel2->setAutoFillBackground(true);
    QPalette white = Panel2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel2->setPalette(white);
    row->addWidget(Panel1);
    row->addWidget(Panel3);
    row->addWidget(Panel2, 1);
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(true);
    status_ = new QLabel(statusBar());
    statusBar()->addWidget(status_, 1);

    // Settings panel: tool bar, then label and control pairs.
    auto* settings = new QVBoxLayout(Panel1);
    settings->setContentsMargins(4, 2, 4, 4);
    settings->setSpacing(2);
    ToolBar1 = new QToolBar(Panel1);
    // Five buttons must fit the 145-pixel panel side by side.
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setStyleSheet("QToolButton { padding: 1px; margin: 0px; }");
    for (QAction* a : {RunAction, Showdecayaction, showresponseaction, ShowT60Action, Showrraction})
        ToolBar1->addAction(a);
    settings->addWidget(ToolBar1);
    auto edit = [&](const char* label, const char* text) {
        settings->addWidget(new QLabel(label, Panel1));
        auto* e = new QLineEdit(text, Panel1);
        settings->addWidget(e);
        return e;
    };
    sfedit = edit("Sampling rate [Hz]", "48000");
    bwedit = edit("Bandwidth [Hz]", "500");
    settings->addWidget(new QLabel("Window function", Panel1));
    windowcombo = new QComboBox(Panel1);
    settings->addWidget(windowcombo);
    prenoiseedit = edit("Pre-noise silence [s]", "1");
    noiseedit = edit("Noise duration [s]", "1");
    postnoiseedit = edit("Post-noise silence [s]", "1");
    settings->addStretch(1);

    // Legend panel.
    auto* gray = new QLabel("Grayscale", Panel3);
    QFont small = gray->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    gray->setFont(small);
    gray->setGeometry(2, 8, 58, 16);
    laxis = new TAxis(Panel3);
    ConfigurePlotAxis(*laxis, posleft, false, -40, 40, "dB", palette().color(QPalette::Button));
    laxis->setGeometry(4, 32, 33, 260);
    PaintBox2 = new TPaintBox(Panel3);
    PaintBox2->setGeometry(40, 32, 17, 260);
    PaintBox2->OnPaint = [this](QPainter& c) { PaintBox2Paint(c); };

    // Spectrogram panel.
    faxis = new TAxis(Panel2);
    ConfigurePlotAxis(*faxis, posleft, true, 20, 20000, "[Hz]", Qt::white);
    faxis->setGeometry(2, 2, 50, 200);
    faxis->SetMarkerVisible(true);
    taxis = new TAxis(Panel2);
    ConfigurePlotAxis(*taxis, posunder, false, 0, 10, "[s]", Qt::white);
    taxis->setGeometry(52, 202, 200, 30);
    PaintBox1 = new TPaintBox(Panel2);
    PaintBox1->OnPaint = [this](QPainter& c) { PaintBox1Paint(c); };
    PaintBox1->OnMouseDown = [this](Qt::MouseButtons b, int x, int y) {
        PaintBox1MouseMove(b, x, y);
    };
    PaintBox1->OnMouseMove = [this](Qt::MouseButtons b, int x, int y) {
        PaintBox1MouseMove(b, x, y);
    };
    faxis->OnScaleChanging = [this](TAxis*) { PaintBox1->update(); };
    taxis->OnScaleChanging = [this](TAxis*) { PaintBox1->update(); };
    laxis->OnScaleChanging = [this](TAxis*) {
        PaintBox1->update();
        PaintBox2->update();
    };
    Panel2->OnResize = [this] { Panel2Resize(); };
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormActivate();
}

void TForm1::FormActivate() {
    if (activated_) return;
    activated_ = true;
    SpecBitmap = QImage(1, 1, QImage::Format_RGB32);
    PaintBox1->SetOpaque(true);
    windowcombo->clear();
    for (const char* name : kWindowNames) windowcombo->addItem(name);
    windowcombo->setCurrentIndex(3);
    Panel2Resize();
    model_.SetFrequency(1000);
    model_.SetInitialDrop(5);
    model_.SetAdditionalDrop(30);
}

void TForm1::SetSampFreq(int32_t v) {
    spec_.SetSampFreq(v);
    if (Running) {
        ShowMessageBox("Silly me!", "cant set sampfreq now!", 0);
        return;
    }
    MPCPlay1.setsfTot(v * MPCPlay1.nChans());
    MPCRecord1.setsfTot(v * MPCRecord1.nChans());
}

void TForm1::RunActionExecute() {
    SetRunning(RunAction->isChecked());
}

void TForm1::SetRunning(bool on) {
    if (on == Running) return;
    std::string problem;
    if (on) {
        bool started = false;
        try {
            started = StartRun();
        } catch (...) {
            // A refused start leaves the window idle, ready for the next click.
            RunAction->setChecked(false);
            throw;
        }
        if (!started) {
            RunAction->setChecked(false);
            return;
        }
    } else {
        problem = StopDevices();
        const std::string finish = recording_.Finish();
        if (problem.empty()) problem = finish;
        unsaved_ = recording_.Delivered() > 0;
    }
    taxis->SetMarkerVisible(on);
    Running = on;
    openfileaction->setEnabled(!on);
    RunAction->setChecked(on);
    // Reported once the window is idle, so the recording can be saved at once.
    if (!problem.empty()) throw Exception(problem);
}

// Stops and closes both sound components, whatever fails on the way; the
// first failure's text, or "".
std::string TForm1::StopDevices() noexcept {
    std::string problem;
    auto stop = [&problem](auto& component) {
        try {
            component.Stop();
        } catch (const std::exception& e) {
            if (problem.empty()) problem = e.what();
        }
    };
    stop(MPCPlay1);
    stop(MPCRecord1);
    return problem;
}

bool TForm1::StartRun() {
    if (!ConfirmDiscard()) return false;
    if (WarnBeforeRun) WarnBeforeRun();
    // Every setting is read and checked before anything is applied, so a
    // refused start changes neither the sound components nor the store.
    TSpectrogram::RunSettings s;
    s.SampFreq = StrToInt(sfedit->text().toStdString());
    s.Window = windowcombo->currentIndex();
    s.Bandwidth = StrToFloat(bwedit->text().toStdString());
    s.PreNoise = StrToFloat(prenoiseedit->text().toStdString());
    s.Noise = StrToFloat(noiseedit->text().toStdString());
    s.PostNoise = StrToFloat(postnoiseedit->text().toStdString());
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(s);

    // The run's own temporary recording and both devices are ready before the
    // last run's recording and spectrogram are given up.
    const std::string previous = TmpFileName;
    const std::string name = TTemporaryRecording::Reserve();
    const int playRate = MPCPlay1.sfTot(), recordRate = MPCRecord1.sfTot();
    try {
        recording_.Create(name, s.SampFreq * MPCPlay1.nChans(), plan.Pos1, plan.Pos2, plan.Pos3);
        MPCPlay1.setsfTot(s.SampFreq * MPCPlay1.nChans());
        MPCRecord1.setsfTot(s.SampFreq * MPCRecord1.nChans());
        MPCPlay1.Open();
        MPCRecord1.Open();
    } catch (...) {
        StopDevices();
        tmpfile.close_file();
        TTemporaryRecording::Remove(name);
        MPCPlay1.setsfTot(playRate);
        MPCRecord1.setsfTot(recordRate);
        throw;
    }
    spec_.SetSampFreq(s.SampFreq);
    spec_.SetupWindow(s.Window);
    spec_.SetupFFTSize();
    spec_.SetupWindowSize(s.Bandwidth);
    spec_.SetupPositions(s.PreNoise, s.Noise, s.PostNoise);
    FitTimeAxes();
    spec_.ClearStore();
    spec_.ResetCounters();
    spec_.RequestRepaint();
    TmpFileName = name;
    rescueCheck_ = spec_.RepaintRequests();
    unsaved_ = false;
    dropped_ = 0;
    status_->clear();
    recordStarted_ = false;
    stopPending_ = false;
    try {
        MPCPlay1.Start();
    } catch (...) {
        StopDevices();
        tmpfile.close_file();
        throw;
    }
    TTemporaryRecording::Remove(previous);
    return true;
}

void TForm1::FitTimeAxes() {
    taxis->SetMaxHiValue(FDiv(spec_.Pos3(), spec_.SampFreq()));
    taxis->SetHiValue(taxis->MaxHiValue());
    taxis->SetLoValue(0);
    taxis->SetMinLoValue(0);
    // The views fit their own time axes to the new set-up.
    model_.Changed(ChangeSetup);
}

void TForm1::MPCPlay1Stash(TWaveChunk& arr, int& used, bool&) {
    used = std::clamp(used, 0, static_cast<int>(arr.size()));
    spec_.FillNoise(random_, arr.data(), used);
    // The input is opened with the output but starts just before the first
    // noise is played.
    if (!recordStarted_) {
        recordStarted_ = true;
        MPCRecord1.Start();
    }
}

void TForm1::MPCRecord1Fetch(TWaveChunk& arr, int used, bool&) {
    // Buffers still in flight after a failed write are counted as not written,
    // and not analysed: the spectrogram shows what the recording holds.
    RecordChunk(arr.data(), std::clamp(used, 0, static_cast<int>(arr.size())),
                recording_.Error().empty());
}

// The recorded-buffer handler: analysis, time marker, temporary recording.
void TForm1::RecordChunk(const int16_t* samples, int32_t used, bool analyse) {
    if (analyse) spec_.AddSamples(samples, used);
    taxis->SetMarkerValue(FDiv(2.0 * spec_.Bins() * spec_.FrameIndex(), spec_.SampFreq()));
    if (!recording_.Append(samples, used, *block_)) {
        RecordingFailed();
        return;
    }
    // Once a cycle: is the temporary recording still where Save will look for it?
    if (spec_.RepaintRequests() != rescueCheck_) {
        rescueCheck_ = spec_.RepaintRequests();
        RescueTemporaryRecording();
    }
}

// A write to the temporary recording failed: the run stops at once, keeps what
// reached the disk and says how much that is.
void TForm1::RecordingFailed() {
    const double rate = std::max(1, spec_.SampFreq());
    const double kept = double(recording_.Samples()) / rate;
    const double lost = double(recording_.Delivered() - recording_.Samples()) / rate;
    const std::string what =
        recording_.DiskFull()
            ? std::string("Disk full")
            : "The temporary recording could not be written (" + recording_.Error() + ")";
    const std::string text = what + ": the recording holds the first " + FormatFloat("0.0", kept) +
                             " s; " + FormatFloat("0.0", lost) + " s were not written.";
    if (!Running) throw Exception(text); // opening a recording
    if (stopPending_) return;
    stopPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            RunGuarded(this, [&] {
                SetRunning(false);
                ShowMessageBox(text, "Ravlon", MB_OK | MB_ICONERROR);
            });
        },
        Qt::QueuedConnection);
}

void TForm1::RescueTemporaryRecording() {
    const std::string notice = recording_.Rescue();
    if (notice.empty()) return;
    TmpFileName = recording_.Name();
    status_->setText(QString::fromStdString(notice));
}

// A device reports a failure while it streams: the run ends, keeping the
// recording; the component raises the device's message itself.
void TForm1::DeviceFailed(unsigned msg) {
    if (msg != audio::MM_WOM_ERROR && msg != audio::MM_WIM_ERROR) return;
    if (!Running || stopPending_) return;
    stopPending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { RunGuarded(this, [this] { SetRunning(false); }); }, Qt::QueuedConnection);
}

void TForm1::ReportDropout() {
    if (!Running) return;
    ++dropped_;
    status_->setText(QString("Audio was dropped %1 time(s): the cycles after it are shifted; "
                             "repeat the measurement.")
                         .arg(dropped_));
}

std::string TForm1::StatusText() const {
    return status_->text().toStdString();
}

void TForm1::OpenRecording(const std::string& name) {
    if (Running) {
        // Opening rebuilds the store and the temporary recording the run is writing.
        ShowMessageBox("Stop the measurement before opening a recording.", "Open recording",
                       MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // A cut path would name another file: refuse what the recording component cannot hold.
    if (name.size() > TSMPfile::MaxShortString)
        throw Exception("The file name is too long (at most 255 characters): " + name);
    if (!ConfirmDiscard()) return;
    RecentFiles1->Add(name);
    if (!SMPfile1.open_file(name, true)) {
        // A file that cannot be opened does not stay in the recent-files list.
        RecentFiles1->Remove(name);
        throw Exception("Cannot open the recording " + name + ": " + SMPfile1.LastError());
    }
    CloseOnExit closeOnExit{SMPfile1};
    // The copy of the opened recording gets its own temporary file, made before
    // anything of the shown analysis changes.
    const std::string previous = TmpFileName;
    const std::string copy = TTemporaryRecording::Reserve();
    bool switched = false;
    try {
        recording_.Create(copy, MPCPlay1.sfTot(), 0, 0, 0);
        TOpenRecordingSteps steps;
        steps.SetSampFreq = [this](int32_t v) { SetSampFreq(v); };
        steps.Bandwidth = [this] { return StrToFloat(bwedit->text().toStdString()); };
        steps.OnPositions = [&] {
            const double sf = spec_.SampFreq();
            const int32_t p1 = spec_.Pos1(), p2 = spec_.Pos2(), p3 = spec_.Pos3();
            recording_.SetLayout(MPCPlay1.sfTot(), p1, p2, p3);
            switched = true;
            TmpFileName = copy;
            unsaved_ = false;
            TTemporaryRecording::Remove(previous);
            prenoiseedit->setText(QString::fromStdString(FormatSignificant(6, p1 / sf)));
            noiseedit->setText(QString::fromStdString(FormatSignificant(6, (p2 - p1) / sf)));
            postnoiseedit->setText(QString::fromStdString(FormatSignificant(6, (p3 - p2) / sf)));
            FitTimeAxes();
        };
        steps.OnChunk = [this](const TSMPBlock& block, bool analyse) {
            RecordChunk(block.Samples, block.Count, analyse);
        };
        steps.OnCycleEnd = [this] { PaintBox1->repaint(); };
        OpenRecordingAnalysis(SMPfile1, spec_, windowcombo->currentIndex(), steps);
    } catch (...) {
        recording_.Finish();
        if (!switched) TTemporaryRecording::Remove(copy);
        throw;
    }
    const std::string problem = recording_.Finish();
    if (!problem.empty()) throw Exception(problem);
}

bool TForm1::HasRecording() const {
    return !TmpFileName.empty() && (unsaved_ || recording_.Samples() > 0) &&
           FileExists(TmpFileName);
}

bool TForm1::SaveRecording(const std::string& name) {
    if (!Running) RescueTemporaryRecording();
    if (!HasRecording()) {
        ShowMessageBox("Nothing has been recorded yet: start a measurement with Run! first.",
                       "Save recording", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    std::string error;
    if (!CopyFileWithDate(TmpFileName, name, &error)) {
        ShowMessageBox("The recording could not be saved as\n" + name +
                           (error.empty() ? std::string() : "\n" + error),
                       "Save recording", MB_OK | MB_ICONERROR);
        return false;
    }
    unsaved_ = false;
    RecentFiles1->Add(name);
    return true;
}

bool TForm1::ConfirmDiscard() {
    if (!unsaved_) return true;
    switch (ShowMessageBox("The recording of the last run is not saved. Save it?", "Ravlon",
                           MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return savefileactionExecute();
    case IDNO:
        // Still unsaved until something really replaces it (a start can fail).
        return true;
    default:
        return false;
    }
}

void TForm1::file1Click() {
    savefileaction->setEnabled(HasRecording());
    openfileaction->setEnabled(!Running);
}

void TForm1::openfileactionExecute() {
    const std::string name =
        AskFileName(this, {FileDialogKind::Open, "Open recording", kFileFilter, "ravlon"});
    if (!name.empty()) OpenRecording(name);
}

bool TForm1::savefileactionExecute() {
    const std::string name =
        AskFileName(this, {FileDialogKind::Save, "Save recording", kFileFilter, "ravlon"});
    return !name.empty() && SaveRecording(name);
}

void TForm1::RecentFiles1Click(QObject*, int, const std::string& fileName) {
    OpenRecording(fileName);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Stop the run; an unsaved recording is offered for saving, and Cancel
    // keeps the program open. Then remove the temporary recording.
    RunGuarded(this, [this] { SetRunning(false); });
    bool keepOpen = false;
    RunGuarded(this, [&] { keepOpen = !ConfirmDiscard(); });
    if (keepOpen) {
        event->ignore();
        return;
    }
    TTemporaryRecording::Remove(TmpFileName);
    event->accept();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this) w->hide();
    QApplication::quit();
}
