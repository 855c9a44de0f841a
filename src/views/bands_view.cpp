#include "views/bands_view.h"

#include "core/bands/recording_results.h"
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "platform/appexception.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace ravlon;

namespace {

const QColor kT20Colour(0, 0, 255), kT30Colour(255, 0, 0), kGrey(150, 150, 150);

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

QAction* TBandsView::MakeShowAction(QObject* parent) {
    // A bar per band, under a falling line: a table of reverberation times.
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 30, 90));
        const int heights[] = {8, 14, 18, 16, 11};
        for (int i = 0; i < 5; ++i) p.drawRect(QRectF(2 + 4 * i, 22 - heights[i], 3, heights[i]));
    }
    auto* action = new QAction(QIcon(pm), "Show band results", parent);
    action->setCheckable(true);
    action->setToolTip("Show band results (EDT, T20, T30 per octave)");
    action->setStatusTip("Show band results");
    return action;
}

TBandsView::TBandsView(MeasurementModel& model, QAction* showAction, QWidget* parent)
    : TResultView(model, showAction, "Ravlon - Band results", {}, false, ChangeFrequency, parent) {
    sources_.push_back(nullptr); // the live measurement
    BuildControls();
    taxis = MakeViewAxis(posleft, false, 0, 2, "[s]");
    faxis = MakeViewAxis(posunder, true, 40, 12500, "[Hz]");
    SetAxes(taxis, faxis);
    resize(860, 680);
    samples_ = model.ObserveSamples([this](const int16_t* samples, int32_t count, bool) {
        monitor_.AddSamples(samples, count);
    });
    ShowTable();
}

void TBandsView::BuildControls() {
    auto* top = new QWidget(this);
    auto* rows = new QVBoxLayout(top);
    rows->setContentsMargins(6, 4, 6, 4);
    auto* settings = new QHBoxLayout;
    auto* results = new QHBoxLayout;
    rows->addLayout(settings);
    rows->addLayout(results);

    setcombo = new QComboBox(top);
    setcombo->addItems({"Octaves 63 Hz - 8 kHz", "Third octaves 50 Hz - 10 kHz"});
    methodcombo = new QComboBox(top);
    methodcombo->addItems({"band filters", "spectrogram"});
    methodcombo->setToolTip("Where the band decays come from: band-pass filtered signals at 1 ms "
                            "(the default, as ravlon-analyze), or the FFT bins of the spectrogram");
    sourcecombo = new QComboBox(top);
    sourcecombo->addItem("This measurement");
    sourcecombo->setVisible(false);
    stopcheck = new QCheckBox("Stop when converged at", top);
    stopcheck->setToolTip(
        "Ends the run at the end of the cycle in which, in every valid octave band from 250 Hz "
        "to 4 kHz, the relative standard deviation of the averaged decays and the change since "
        "the previous cycle are at or below the target (never before 3 cycles)");
    targetedit = new QDoubleSpinBox(top);
    targetedit->setRange(0.1, 50);
    targetedit->setDecimals(1);
    targetedit->setSingleStep(0.5);
    targetedit->setValue(2.0);
    targetedit->setSuffix(" %");
    settings->addWidget(new QLabel("Bands", top));
    settings->addWidget(setcombo);
    settings->addSpacing(8);
    settings->addWidget(new QLabel("Decays from", top));
    settings->addWidget(methodcombo);
    settings->addSpacing(8);
    settings->addWidget(sourcecombo);
    settings->addStretch(1);
    settings->addWidget(stopcheck);
    settings->addWidget(targetedit);

    tmidlabel = new QLabel(top);
    QFont large = tmidlabel->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    tmidlabel->setFont(large);
    tmidlabel->setToolTip("Tmid: the mean of T30 (else T20) in the 500 Hz and 1 kHz octave bands");
    cyclelabel = new QLabel(top);
    CopyAction = new QAction("&Copy", this);
    CopyAction->setShortcut(QKeySequence::Copy);
    CopyAction->setShortcutContext(Qt::WindowShortcut);
    CopyAction->setStatusTip("Copy the band table as tab-separated text");
    ExportAction = new QAction("Export results...", this);
    ExportAction->setStatusTip(
        "Export the band results as CSV or JSON, as ravlon-analyze writes them");
    addAction(CopyAction);
    results->addWidget(tmidlabel);
    results->addSpacing(16);
    results->addWidget(cyclelabel);
    results->addStretch(1);
    for (QAction* a : {CopyAction, ExportAction}) {
        auto* button = new QToolButton(top);
        button->setDefaultAction(a);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        results->addWidget(button);
    }

    table = new QTableWidget(this);
    const std::vector<std::string> titles = BandColumnTitles();
    table->setColumnCount(static_cast<int>(titles.size()));
    QStringList headers;
    for (const std::string& t : titles) headers << Text(t);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectItems);
    table->setMouseTracking(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    statusline = new QLabel(StatusBar1);
    statusline->setWordWrap(true);
    StatusBar1->addWidget(statusline, 1);

    auto* column = static_cast<QVBoxLayout*>(layout());
    column->insertWidget(0, top);
    column->insertWidget(1, table, 3);
    column->setStretchFactor(Panel1, 2);

    const auto reevaluate = Guarded(this, [this] {
        fitTimeAxis_ = true;
        Evaluate();
    });
    connect(setcombo, &QComboBox::currentIndexChanged, this, reevaluate);
    connect(methodcombo, &QComboBox::currentIndexChanged, this, reevaluate);
    connect(sourcecombo, &QComboBox::currentIndexChanged, this, reevaluate);
    connect(CopyAction, &QAction::triggered, this, Guarded(this, [this] { CopyTable(); }));
    connect(ExportAction, &QAction::triggered, this, Guarded(this, [this] { ExportResults(); }));
    connect(table, &QTableWidget::currentCellChanged, this,
            Guarded(this, [this] { ShowStatus(); }));
    connect(table, &QTableWidget::cellEntered, this, [this](int row, int col) {
        RunGuarded(this, [&] {
            table->setCurrentCell(row, col, QItemSelectionModel::NoUpdate);
            ShowStatus();
        });
    });
}

void TBandsView::FirstActivation() {
    taxis->SetMinLoValue(0);
    taxis->SetMinHiValue(0.01);
    TResultView::FirstActivation();
}

TBandSet TBandsView::Set() const {
    return setcombo->currentIndex() == 1 ? TBandSet::ThirdOctave : TBandSet::Octave;
}

TBandMethod TBandsView::Method() const {
    return methodcombo->currentIndex() == 1 ? TBandMethod::Spectrogram : TBandMethod::Time;
}

void TBandsView::AddSource(const QString& name, TableSource source) {
    sources_.push_back(std::move(source));
    sourcecombo->addItem(name);
    sourcecombo->setVisible(true);
}

void TBandsView::SourceChanged() {
    ShowTable();
    RepaintPlot();
}

void TBandsView::ModelChanged(unsigned changes) {
    if (changes & ChangeSetup) {
        // A new run or opened recording: the samples that follow are its first.
        const TSpectrogram& s = Model().Store();
        try {
            monitor_.Setup(s.SampFreq(), s.Pos1(), s.Pos2(), s.Pos3());
        } catch (const std::exception&) {
            // A cycle too long for the band sums: the run goes on without bands.
            monitor_.Clear();
        }
        evaluatedCycles_ = -1;
        stopRequested_ = false;
        stopNotice_.clear();
        fitTimeAxis_ = true;
        ShowTable();
        RepaintPlot();
    }
    if (changes & (ChangeStore | ChangeDrops | ChangeVolume | ChangeClipping)) Evaluate();
}

// The live bands at this repaint; the status text, the stop when converged,
// then what is shown.
void TBandsView::Evaluate() {
    TBandMonitor::TOptions options;
    options.Set = Set();
    options.Method = Method();
    try {
        const double volume = Model().RoomVolume();
        if (volume > 0 && std::isfinite(volume)) options.Volume = volume;
    } catch (const Exception&) {
        // No volume typed in the radius view: no Schroeder frequency.
    }
    const std::span<const TInputMeter::ClippedCycle> clipped = Model().InputMeter().ClippedCycles();
    if (!clipped.empty()) options.FirstClippedCycle = clipped.front().Cycle;
    std::span<const double> t60;
    try {
        t60 = Model().Evaluation().T60Values;
    } catch (const std::exception&) {
        // No per-bin evaluation yet (no noise reference): no medians.
    }
    try {
        monitor_.Evaluate(Model().Store(), t60, options);
    } catch (const std::exception& e) {
        // Called from the spectrogram's repaint: the table stays as it was.
        statusline->setText(Text(std::string("The bands could not be evaluated: ") + e.what()));
        return;
    }
    const bool newCycle = monitor_.Cycles() != evaluatedCycles_;
    evaluatedCycles_ = monitor_.Cycles();
    if (OnCycleSummary) OnCycleSummary(CycleSummary(monitor_.Table()));
    if (newCycle && stopcheck->isChecked() && !stopRequested_ &&
        Converged(monitor_.Octaves(), targetedit->value())) {
        stopRequested_ = true;
        const int64_t cycles = evaluatedCycles_;
        // Not inside the spectrogram's repaint: the run stops from the event loop.
        QMetaObject::invokeMethod(
            this,
            [this, cycles] {
                RunGuarded(this, [&] {
                    if (!StopRun || !StopRun()) return;
                    stopNotice_ = "Converged after " + std::to_string(cycles) +
                                  " cycles: the measurement was stopped.";
                    ShowStatus();
                });
            },
            Qt::QueuedConnection);
    }
    ShowTable();
    RepaintPlot();
}

void TBandsView::ShowTable() {
    const int source = std::max(0, sourcecombo->currentIndex());
    if (source > 0 && source < static_cast<int>(sources_.size()) && sources_[source])
        shown_ = sources_[source](Set());
    else
        shown_ = monitor_.Table();
    tmidlabel->setText(Text(TmidText(shown_.Tmid)));
    if (!shown_.Note.empty())
        cyclelabel->setText(Text(shown_.Note));
    else
        cyclelabel->setText(shown_.Cycles > 0 ? QString("Cycle %1").arg(shown_.Cycles)
                                              : QString("No complete cycle yet"));
    table->setRowCount(static_cast<int>(shown_.Rows.size()));
    for (size_t r = 0; r < shown_.Rows.size(); ++r) {
        const std::vector<TCellText> cells = BandRowTexts(shown_.Rows[r]);
        for (size_t c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(Text(cells[c].Text));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (!cells[c].Valid) {
                item->setForeground(kGrey);
                item->setToolTip(Text(cells[c].Reason));
            }
            table->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    if (fitTimeAxis_) FitTimeAxis();
    ShowStatus();
}

// The reason of the value under the mouse or selected; else how many are not valid.
void TBandsView::ShowStatus() {
    std::string text = stopNotice_;
    const auto add = [&text](const std::string& s) { text += (text.empty() ? "" : "  ") + s; };
    const QTableWidgetItem* current = table->currentItem();
    const int row = table->currentRow(), col = table->currentColumn();
    if (current && !current->toolTip().isEmpty() && row >= 0 &&
        row < static_cast<int>(shown_.Rows.size())) {
        const std::string band = TableNumber(shown_.Rows[static_cast<size_t>(row)].Band.Nominal, 5);
        add(table->horizontalHeaderItem(col)->text().toStdString() + " at " + band +
            " Hz not valid: " + current->toolTip().toStdString());
    } else {
        int invalid = 0;
        for (int r = 0; r < table->rowCount(); ++r)
            for (int c = 0; c < table->columnCount(); ++c)
                invalid += table->item(r, c) && !table->item(r, c)->toolTip().isEmpty();
        if (invalid > 0)
            add(std::to_string(invalid) +
                " value(s) not valid (grey): point at one or select it for the reason.");
    }
    statusline->setText(Text(text));
}

// The time axis from 0 to a round value above the largest T20 or T30 with its
// error bar, once per set-up or switch, and whenever the data grows past it.
void TBandsView::FitTimeAxis() {
    double top = 0;
    for (const TBandRow& row : shown_.Rows)
        for (const TBandCell* c : {&row.T20, &row.T30})
            if (std::isfinite(c->Value))
                top = std::max(top, c->Value + (std::isfinite(c->Sigma) ? c->Sigma : 0));
    if (!(top > 0)) return;
    const double step = NiceNumber(top / 4);
    const double hi = std::ceil(top * 1.1 / step) * step;
    if (fitTimeAxis_ || hi > taxis->HiValue()) taxis->SetRange(0, hi);
    fitTimeAxis_ = false;
}

void TBandsView::CopyTable() {
    QGuiApplication::clipboard()->setText(Text(BandTableText(shown_)));
}

void TBandsView::ExportResults() {
    const std::string name = AskFileName(this, {FileDialogKind::Save, "Export results",
                                                "CSV files (*.csv);;JSON files (*.json)", "csv"});
    if (!name.empty()) ExportResults(name);
}

bool TBandsView::ExportResults(const std::string& name) {
    const MeasurementModel::RecordingSource& source = Model().Recording();
    const auto tell = [](const std::string& text, int icon) {
        ShowMessageBox(text, "Export results", MB_OK | icon);
        return false;
    };
    if (!monitor_.IsSetUp())
        return tell("There are no results to export yet: run a measurement or open a recording.",
                    MB_ICONINFORMATION);
    if (source.File.empty())
        return tell("Stop the measurement before exporting its results.", MB_ICONINFORMATION);
    TResultsReport report;
    report.File = source.Name;
    report.Window = static_cast<int32_t>(Model().FFT().Window());
    report.Bandwidth = source.Bandwidth;
    report.InitialDrop = Model().InitialDrop();
    report.AdditionalDrop = Model().AdditionalDrop();
    try {
        const double volume = Model().RoomVolume();
        if (volume > 0 && std::isfinite(volume)) report.Volume = volume;
    } catch (const Exception&) {
    }
    report.Set = Set();
    report.Method = Method();
    std::string text;
    try {
        TSMPfile rec;
        if (!rec.open_file(source.File, true))
            return tell("The recording cannot be read: " + rec.LastError(), MB_ICONERROR);
        AnalyseRecordingResults(rec, report);
        rec.close_file();
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        text = lower.ends_with(".json") ? ResultsJson(report) : ResultsCsv(report);
    } catch (const std::exception& e) {
        return tell(std::string("The results could not be computed: ") + e.what(), MB_ICONERROR);
    }
    std::string error;
    if (!WriteFileAtomically(name, text, &error))
        return tell("The results could not be written to\n" + name + "\n" + error, MB_ICONERROR);
    return true;
}

void TBandsView::PaintSeries(QPainter& canvas, const TBandCell TBandRow::*cell,
                             const QColor& colour, int offset) {
    const int h = PaintBox1->height();
    QPointF last;
    bool haveLast = false;
    for (const TBandRow& row : shown_.Rows) {
        const TBandCell& c = row.*cell;
        if (!std::isfinite(c.Value)) {
            haveLast = false;
            continue;
        }
        const QColor pen = c.Valid ? colour : kGrey;
        const int x = faxis->ValueToPixel(row.Band.Centre) + offset;
        const int y = taxis->ValueToPixelClamped(c.Value);
        canvas.setPen(QPen(pen, 1));
        if (std::isfinite(c.Sigma) && c.Sigma > 0) {
            const int y1 = taxis->ValueToPixelClamped(c.Value - c.Sigma);
            const int y2 = taxis->ValueToPixelClamped(c.Value + c.Sigma);
            canvas.drawLine(x, y1, x, y2);
            canvas.drawLine(x - 3, y1, x + 3, y1);
            canvas.drawLine(x - 3, y2, x + 3, y2);
        }
        if (c.Valid && haveLast) {
            canvas.setPen(QPen(colour, 1));
            canvas.drawLine(last, QPointF(x, y));
        }
        canvas.setPen(QPen(pen, 1));
        canvas.setBrush(c.Valid ? QBrush(colour) : QBrush(Qt::white));
        canvas.drawEllipse(QPoint(x, y), 3, 3);
        canvas.setBrush(Qt::NoBrush);
        last = QPointF(x, y);
        haveLast = c.Valid && y >= 0 && y < h;
    }
}

void TBandsView::PaintBox1Paint(QPainter& canvas) {
    try {
        PaintFrameAndGrid(canvas);
        const int w = PaintBox1->width();
        if (shown_.Tmid.Valid) {
            canvas.setPen(QPen(kGrey, 1, Qt::DashLine));
            const int y = taxis->ValueToPixelClamped(shown_.Tmid.Value);
            canvas.drawLine(0, y, w - 1, y);
        }
        PaintSeries(canvas, &TBandRow::T20, kT20Colour, -3);
        PaintSeries(canvas, &TBandRow::T30, kT30Colour, 3);
        // Legend, top right.
        const QFontMetrics fm(canvas.font());
        int y = 4;
        for (const auto& [name, colour] : {std::pair{"T20", kT20Colour}, {"T30", kT30Colour}}) {
            const int x = w - fm.horizontalAdvance(name) - 30;
            canvas.setPen(QPen(colour, 2));
            canvas.drawLine(x, y + fm.ascent() / 2 + 1, x + 16, y + fm.ascent() / 2 + 1);
            canvas.setPen(Qt::black);
            canvas.drawText(x + 20, y + fm.ascent(), name);
            y += fm.height();
        }
        PaintSelectedFrequency(canvas, *faxis, PaintBox1->height(), Model());
    } catch (const std::exception&) {
        // The first failure ends this repaint; what is drawn stays.
    }
    canvas.setPen(QPen(canvas.pen().color(), 1, Qt::SolidLine));
}

void TBandsView::PaintBox1MouseMove(Qt::MouseButtons buttons, int x, int) {
    SelectFrequencyByDrag(buttons, *faxis, x, Model());
}
