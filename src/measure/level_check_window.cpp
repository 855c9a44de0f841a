#include "measure/level_check_window.h"

#include "core/base/numtext.h"
#include "platform/appexception.h"
#include "widgets/input_meter_view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

using namespace ravlon;

namespace {

const char* const kIdle = "Check records the background for 2 s with the output silent, then "
                          "plays the noise for 2 s. Set level plays the noise until you stop it.";

QString Number(double v) {
    return std::isnan(v) ? QString("-") : QString::fromStdString(FormatFloat("0.0", v));
}

QString Needs(const char* what, double margin) {
    return QString("%1 (%2 dB)").arg(what).arg(int(margin));
}

} // namespace

TLevelCheckForm::TLevelCheckForm(std::shared_ptr<audio::WaveBackend> backend, QWidget* parent)
    : QDialog(parent), run_(std::move(backend)) {
    setWindowTitle("Check levels");
    auto* top = new QVBoxLayout(this);
    statelabel = new QLabel(kIdle, this);
    statelabel->setWordWrap(true);
    top->addWidget(statelabel);

    auto* row = new QHBoxLayout;
    top->addLayout(row);
    checkbutton = new QPushButton("&Check", this);
    levelbutton = new QPushButton("&Set level", this);
    levelbutton->setCheckable(true);
    row->addWidget(checkbutton);
    row->addWidget(levelbutton);
    meterview = new TInputMeterView(meter_, this);
    meterview->setMaximumWidth(2 * meterview->minimumSizeHint().width());
    row->addStretch(1);
    row->addWidget(meterview, 1);

    // The margin each evaluation needs, in the column headers.
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    const QString headers[Columns] = {"Octave [Hz]",
                                      "Background [dBFS]",
                                      "Noise [dBFS]",
                                      "Margin [dB]",
                                      Needs("EDT", EDTMarginNeeded),
                                      Needs("T20", T20MarginNeeded),
                                      Needs("T30", T30MarginNeeded)};
    for (int c = 0; c < Columns; ++c) {
        auto* h = new QLabel("<b>" + headers[c] + "</b>", this);
        grid->addWidget(h, 0, c, Qt::AlignRight);
    }
    const std::vector<TBand> octaves = StandardBands(TBandSet::Octave);
    for (int b = 0; b < 8; ++b)
        for (int c = 0; c < Columns; ++c) {
            cells_[b][c] = new QLabel(
                c == 0 && b < int(octaves.size()) ? QString::number(int(octaves[b].Nominal)) : "",
                this);
            grid->addWidget(cells_[b][c], b + 1, c, Qt::AlignRight);
        }
    advicelabel = new QLabel(this);
    advicelabel->setWordWrap(true);
    advicelabel->setMinimumHeight(3 * advicelabel->fontMetrics().height());
    top->addWidget(advicelabel);

    beforeruncheck = new QCheckBox("Check before every &run", this);
    auto* bottom = new QHBoxLayout;
    top->addLayout(bottom);
    bottom->addWidget(beforeruncheck, 1);
    measurebutton = new QPushButton("&Measure", this);
    measurebutton->hide();
    measurebutton->setEnabled(false);
    closebutton = new QPushButton("Close", this);
    bottom->addWidget(measurebutton);
    bottom->addWidget(closebutton);

    connect(checkbutton, &QPushButton::clicked, this, Guarded(this, [this] { StartCheck(); }));
    connect(levelbutton, &QPushButton::clicked, this,
            Guarded(this, [this] { SetLevelSetting(levelbutton->isChecked()); }));
    connect(measurebutton, &QPushButton::clicked, this, Guarded(this, [this] { accept(); }));
    connect(closebutton, &QPushButton::clicked, this, Guarded(this, [this] { reject(); }));
    connect(beforeruncheck, &QCheckBox::toggled, this, Guarded(this, [this] {
                if (OnCheckBeforeRun) OnCheckBeforeRun(beforeruncheck->isChecked());
            }));
    run_.OnBuffer = [this](std::span<const int16_t> samples) { Buffer(samples); };
    run_.OnDone = [this](std::span<const int16_t> background, std::span<const int16_t> noise) {
        RunGuarded(this, [&] { Done(background, noise); });
    };
    run_.OnFailed = [this] { RunGuarded(this, [this] { Failed(); }); };
}

TLevelCheckForm::~TLevelCheckForm() {
    run_.Stop();
}

void TLevelCheckForm::Begin(bool continuous, bool warn) {
    // The buttons follow what plays, also when a start is refused.
    struct Sync {
        TLevelCheckForm& f;
        ~Sync() { f.UpdateControls(); }
    } sync{*this};
    if (measuring_) return;
    StopAll();
    if (!Prepare) return;
    const Setup setup = Prepare();
    if (warn && Warn) Warn();
    setup_ = setup;
    meter_.Configure(setup.SampFreq, 0);
    noiseShown_ = continuous;
    if (continuous)
        run_.StartContinuous(setup.SampFreq, setup.Attenuation);
    else
        run_.Start(setup.SampFreq, setup.Attenuation);
    meterview->SetActive(true);
    statelabel->setText(continuous ? "Setting the level: the noise plays until you press Set "
                                     "level again. Turn the amplifier up as far as the meter "
                                     "stays clear of CLIP."
                                   : "Recording the background (the output is silent)...");
}

void TLevelCheckForm::StartCheck() {
    Begin(false, true);
}

void TLevelCheckForm::SetLevelSetting(bool on) {
    if (on)
        Begin(true, true);
    else
        StopAll();
}

void TLevelCheckForm::StopAll() {
    const bool was = run_.Active();
    run_.Stop();
    meterview->SetActive(false);
    if (was) statelabel->setText(kIdle);
    UpdateControls();
}

void TLevelCheckForm::SetMeasuring(bool measuring) {
    measuring_ = measuring;
    if (measuring) StopAll();
    UpdateControls();
}

void TLevelCheckForm::UpdateControls() {
    const bool free = !measuring_ && !beforeRun_;
    checkbutton->setEnabled(free && !(run_.Active() && !run_.Continuous()));
    levelbutton->setEnabled(free);
    levelbutton->setChecked(LevelSetting());
}

void TLevelCheckForm::Buffer(std::span<const int16_t> samples) {
    meter_.AddBuffer(samples);
    meterview->update();
    if (!noiseShown_ && run_.RecordingNoise()) {
        noiseShown_ = true;
        statelabel->setText("Playing the noise...");
    }
}

void TLevelCheckForm::Done(std::span<const int16_t> background, std::span<const int16_t> noise) {
    meterview->SetActive(false);
    result_ = CheckLevels(background, noise, setup_.SampFreq, setup_.Attenuation);
    statelabel->setText(QString("Checked at %1 Hz with %2 dB output attenuation.")
                            .arg(setup_.SampFreq)
                            .arg(QString::fromStdString(FormatFloat("0.0", setup_.Attenuation))));
    ShowResult();
    UpdateControls();
    if (!beforeRun_) return;
    if (result_->ClippedSamples == 0 && result_->Needed <= 0)
        accept();
    else
        measurebutton->setEnabled(true);
}

void TLevelCheckForm::Failed() {
    meterview->SetActive(false);
    statelabel->setText("The check stopped: a sound device failed.");
    UpdateControls();
    if (beforeRun_) reject();
}

void TLevelCheckForm::ShowResult() {
    const auto mark = [](bool enough) { return QString(enough ? "yes" : "no"); };
    for (int b = 0; b < 8; ++b) {
        const bool known = b < int(result_->Bands.size()) && result_->Bands[size_t(b)].Evaluated;
        const TLevelCheckBand none;
        const TLevelCheckBand& band = known ? result_->Bands[size_t(b)] : none;
        cells_[b][1]->setText(known ? Number(band.Background) : "-");
        cells_[b][2]->setText(known ? Number(band.Noise) : "-");
        cells_[b][3]->setText(known ? Number(band.Margin) : "-");
        cells_[b][4]->setText(known ? mark(band.EDT) : "-");
        cells_[b][5]->setText(known ? mark(band.T20) : "-");
        cells_[b][6]->setText(known ? mark(band.T30) : "-");
    }
    QStringList advice;
    for (const std::string& a : result_->Advice) advice << QString::fromStdString(a);
    advicelabel->setText(advice.join('\n'));
}

QString TLevelCheckForm::CellText(int band, int column) const {
    if (band < 0 || band >= 8 || column < 0 || column >= Columns) return {};
    return cells_[band][column]->text();
}

bool TLevelCheckForm::CheckBeforeRun() {
    StopAll();
    hide();
    beforeRun_ = true;
    measurebutton->show();
    measurebutton->setEnabled(false);
    closebutton->setText("Cancel");
    struct Restore {
        TLevelCheckForm& f;
        ~Restore() {
            f.beforeRun_ = false;
            f.measurebutton->hide();
            f.closebutton->setText("Close");
            f.UpdateControls();
        }
    } restore{*this};
    Begin(false, false);
    if (!run_.Active()) return true; // nothing to check with
    return exec() == QDialog::Accepted;
}

void TLevelCheckForm::hideEvent(QHideEvent* event) {
    // Closed or hidden by the program; minimizing the main window plays on.
    if (!event->spontaneous()) StopAll();
    QDialog::hideEvent(event);
}
