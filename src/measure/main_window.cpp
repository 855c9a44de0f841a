#include "measure/main_window.h"

#include "axes/axis.h"
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "core/views/data_range.h"
#include "platform/appexception.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "services/about_box.h"
#include "services/error_log.h"
#include "services/help_menu.h"
#include "services/program_id.h"
#include "services/recent_files.h"
#include "widgets/data_fit.h"
#include "widgets/paint_box.h"
#include "widgets/panel.h"
#include "widgets/result_view.h"
#include "widgets/window_fit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

using namespace ravlon;

namespace {

const char* const kWindowNames[] = {"rectangular", "Bartlett", "Hamming", "Hanning", "Blackman"};
const char* const kHomePage = "https://www.gessumdata.example/ravlon/";
const char* const kVersionFile = "https://update.gessumdata.example/versions/ravlon.txt";

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

} // namespace

TForm1::TForm1(MeasurementModel& model, std::shared_ptr<audio::WaveBackend> backend)
    : FFT1(model.FFT()), MPCPlay1(backend), MPCRecord1(backend), model_(model),
      store_(model.Store()), block_(std::make_unique<TSMPBlock>()) {
    setWindowTitle("Ravlon");

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
    store_.OnRepaintRequest = [this] { PaintBox1->update(); };
    subscription_ = model_.Observe([this](unsigned changes) {
        // A new set-up has other bins: the marker moves to the frequency they snap to.
        if (changes & (ChangeFrequency | ChangeSetup))
            faxis->SetMarkerValue(model_.SnappedFrequency());
    });
    SetDataRange(faxis, 0, [this] { return FrequencyRange(store_); });
    SetDataRange(taxis, 0, [this] { return CycleTimeRange(store_); });
    // The legend's levels are relative to each bin's noise level: its default
    // range suits every measurement, so it is fitted on request only.
    SetDataRange(laxis, kDataFitMargin, [this] {
        return SpectrogramLevelRange(store_, faxis->LoValue(), faxis->HiValue());
    });
    // 640 x 400 and at least 395 x 371: the spectrogram panel gets the least
    // room the settings and the bars leave of that. The window's minimum stays
    // its layout's, so it grows where texts need more (a notice of two lines).
    const QSize others = minimumSizeHint(), bars = others - centralWidget()->minimumSizeHint();
    Panel2->setMinimumSize(std::max(1, 395 - others.width()), std::max(1, 371 - bars.height()));
    FitStartSize(*this, QSize(640, 400));
}

TForm1::~TForm1() {
    store_.OnRepaintRequest = nullptr;
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
    for (QAction* a : {Showdecayaction, showresponseaction, ShowT60Action, Showrraction})
        Menu("&View")->addAction(a);
}

QMenu* TForm1::Menu(const QString& title) {
    // The menu bar's order; the help menu places itself at the end.
    static const QStringList order{"&File", "&Edit", "&View", "&Options"};
    QAction* before = nullptr;
    for (QAction* a : menuBar()->actions()) {
        if (a->text() == title && a->menu()) return a->menu();
        const qsizetype rank = order.indexOf(a->text());
        if (!before && (rank < 0 || rank > order.indexOf(title))) before = a;
    }
    auto* menu = new QMenu(title, this);
    menuBar()->insertMenu(before, menu);
    return menu;
}

void TForm1::BuildControls() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    // The settings and legend panels are as wide as their texts need, the
    // spectrogram takes the rest.
    Panel1 = new QWidget(central);
    Panel1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* legend = new TPanel(central);
    Panel3 = legend;
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
    status_->setWordWrap(true); // a long notice takes lines, not width
    statusBar()->addWidget(status_, 1);
    progress_ = new QLabel(statusBar());
    statusBar()->addPermanentWidget(progress_);
    // A notice that takes more lines makes the status bar taller: the window
    // grows so the settings keep their room.
    statusBar()->installEventFilter(this);

    // Settings panel: tool bar, then label and control pairs.
    auto* settings = new QVBoxLayout(Panel1);
    settings->setContentsMargins(4, 2, 4, 4);
    settings->setSpacing(2);
    ToolBar1 = new QToolBar(Panel1);
    // Five buttons side by side; the panel is at least as wide as they are.
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
    // At least 145 pixels wide.
    settings->addSpacerItem(new QSpacerItem(145 - 8, 0, QSizePolicy::Fixed, QSizePolicy::Minimum));

    // Legend panel.
    auto* gray = new QLabel("Grayscale", Panel3);
    QFont small = gray->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    gray->setFont(small);
    laxis = new TAxis(Panel3);
    ConfigurePlotAxis(*laxis, posleft, false, -40, 40, "dB", palette().color(QPalette::Button));
    SetPlotAxisBreadth(*laxis, 33);
    PaintBox2 = new TPaintBox(Panel3);
    PaintBox2->OnPaint = [this](QPainter& c) { PaintBox2Paint(c); };
    // The label at the top, the level axis below it at its own breadth,
    // the strip 3 pixels to its right; the panel at least 60 pixels wide.
    legend->OnResize = [this, legend, gray] {
        gray->setGeometry(QRect(QPoint(2, 8), gray->sizeHint()));
        const int top = std::max(32, gray->geometry().bottom() + 1 + 8);
        laxis->setGeometry(4, top, laxis->width(), 260);
        PaintBox2->setGeometry(laxis->geometry().right() + 1 + 3, top, 17, 260);
        legend->setFixedWidth(std::max(
            {60, gray->geometry().right() + 1 + 2, PaintBox2->geometry().right() + 1 + 3}));
        legend->setMinimumHeight(PaintBox2->geometry().bottom() + 1 + 2);
    };
    legend->Follow(laxis);
    legend->OnResize();

    // Spectrogram panel.
    faxis = new TAxis(Panel2);
    ConfigurePlotAxis(*faxis, posleft, true, 20, 20000, "[Hz]", Qt::white);
    SetPlotAxisBreadth(*faxis, 50);
    faxis->SetMarkerVisible(true);
    taxis = new TAxis(Panel2);
    ConfigurePlotAxis(*taxis, posunder, false, 0, 10, "[s]", Qt::white);
    SetPlotAxisBreadth(*taxis, 30);
    Panel2->Follow(faxis);
    Panel2->Follow(taxis);
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

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == statusBar() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        QMetaObject::invokeMethod(
            this, [this] { FitStatusBar(); }, Qt::QueuedConnection);
    return QMainWindow::eventFilter(watched, event);
}

// The status bar takes the height its wrapped notices need at their widths
// (it does not ask them itself), and the window grows so the settings keep
// their room.
void TForm1::FitStatusBar() {
    int lines = 0;
    for (QLabel* label : statusBar()->findChildren<QLabel*>())
        if (label->isVisible() && label->wordWrap())
            lines = std::max(lines, label->heightForWidth(label->width()));
    const QMargins m = statusBar()->contentsMargins();
    const int need = std::max(statusBar()->minimumSizeHint().height(),
                              lines + m.top() + m.bottom() + 8); // the bar's own spacing
    if (statusBar()->minimumHeight() != need) statusBar()->setMinimumHeight(need);
    GrowForContent(*this, *centralWidget());
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
