#include "measure/audio_setup.h"

#include "core/base/numtext.h"
#include "measure/audio_settings_dialog.h"
#include "measure/level_check_window.h"
#include "measure/main_window.h"
#include "platform/appexception.h"
#include "platform/messagebox.h"
#include "services/audio_settings_store.h"
#include "widgets/input_meter_view.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>

namespace ravlon {

namespace {

const char* const kCaption = "Audio devices";
const char* const kCheckBeforeRun = "CheckBeforeRun";

// Adds w to the settings panel below its controls (before the closing stretch).
void AddToPanel(QWidget* panel, QWidget* w) {
    auto* box = qobject_cast<QBoxLayout*>(panel->layout());
    if (!box) {
        w->setParent(panel);
        return;
    }
    int at = box->count();
    if (at > 0 && box->itemAt(at - 1)->spacerItem()) --at;
    box->insertWidget(at, w);
}

} // namespace

TAudioSetup::TAudioSetup(TForm1& main, std::shared_ptr<audio::WaveBackend> backend)
    : main_(main), backend_(std::move(backend)),
      chosen_(dynamic_cast<audio::ChosenWaveBackend*>(backend_.get())) {
    store_.setObjectName("AudioSetting");
    store_.SetProgId(main.ProgId1);
    store_.SetLocation(slroaming);

    AudioDevicesAction = new QAction("Audio devices...", this);
    AudioDevicesAction->setStatusTip("Choose the sound devices, their channels and the output "
                                     "level");
    AudioDevicesAction->setEnabled(chosen_ != nullptr);
    CheckLevelsAction = new QAction("Check levels...", this);
    CheckLevelsAction->setStatusTip("Check the noise level over the background before measuring");
    main.Menu("&Options")->addAction(AudioDevicesAction);
    main.Menu("&Options")->addAction(CheckLevelsAction);
    connect(AudioDevicesAction, &QAction::triggered, this,
            Guarded(this, [this] { AudioDevicesExecute(); }));
    connect(CheckLevelsAction, &QAction::triggered, this,
            Guarded(this, [this] { CheckLevelsExecute(); }));

    // The sampling-rate edit becomes the edit of a drop-down of rates; free
    // entry stays, and nothing is completed behind the user's back.
    const QString rate = main.sfedit->text();
    RateCombo = new QComboBox(main.sfedit->parentWidget());
    RateCombo->setEditable(true);
    RateCombo->setInsertPolicy(QComboBox::NoInsert);
    RateCombo->setToolTip("The rates both devices support; any other rate can be typed");
    if (QLayout* layout = main.sfedit->parentWidget()->layout())
        delete layout->replaceWidget(main.sfedit, RateCombo); // the edit's old layout item
    RateCombo->setLineEdit(main.sfedit);
    main.sfedit->setCompleter(nullptr);
    main.sfedit->setText(rate);

    // Below the settings; the check is in the Options menu (the panel has no room for more).
    MeterView = new TInputMeterView(main.Model().InputMeter(), main.Panel1);
    AddToPanel(main.Panel1, MeterView);

    ClippingLabel = new QLabel(main.statusBar());
    ClippingLabel->setStyleSheet("QLabel { color: #c00000; }");
    ClippingLabel->setWordWrap(true); // like the main window's notices: lines, not width
    ClippingLabel->hide();
    main.statusBar()->addWidget(ClippingLabel, 1);
    DevicesLabel = new QLabel(main.statusBar());
    DevicesLabel->hide();
    main.statusBar()->addPermanentWidget(DevicesLabel);

    SettingsForm = new TAudioSettingsForm(&main);
    CheckForm = new TLevelCheckForm(backend_, &main);
    CheckForm->Prepare = [this] {
        return TLevelCheckForm::Setup{StrToInt(main_.sfedit->text().toStdString()),
                                      settings_.outputAttenuation};
    };
    CheckForm->Warn = [this] {
        if (main_.WarnBeforeRun) main_.WarnBeforeRun();
    };
    {
        const QSignalBlocker quiet(CheckForm->beforeruncheck);
        CheckForm->beforeruncheck->setChecked(
            store_.ReadInteger(kAudioSection, kCheckBeforeRun, 0) != 0);
    }
    CheckForm->OnCheckBeforeRun = [this](bool on) {
        store_.WriteInteger(kAudioSection, kCheckBeforeRun, on ? 1 : 0);
    };

    main.BeforeRun = [this] { return BeforeRun(); };
    connect(&main, &TForm1::RunningChanged, this, Guarded(this, [this] { RunningChanged(); }));
    // The meter is repainted for every buffer of a run; nothing is allocated.
    samples_ = main.Model().ObserveSamples([this](const int16_t*, int32_t, bool) {
        if (main_.Running && MeterView) MeterView->update();
    });
    changes_ = main.Model().Observe([this](unsigned changes) {
        if (changes & (ChangeSetup | ChangeStore | ChangeClipping)) ShowClipping();
    });
}

TAudioSetup::~TAudioSetup() {
    main_.BeforeRun = nullptr;
    // The rate drop-down stays: it holds the main window's edit.
    delete CheckForm.data();
    delete SettingsForm.data();
    delete MeterView.data();
    delete ClippingLabel.data();
    delete DevicesLabel.data();
}

void TAudioSetup::Start() {
    Apply(LoadAudioSettings(store_), false);
}

void TAudioSetup::Apply(const audio::AudioSettings& settings, bool store) {
    const std::string message = chosen_ ? chosen_->choose(settings) : std::string();
    main_.Model().Store().SetNoiseAttenuation(settings.outputAttenuation);
    settings_ = settings;
    ShowDevices();
    if (store) SaveAudioSettings(store_, settings);
    if (!message.empty()) ShowMessageBox(message, kCaption, MB_OK | MB_ICONEXCLAMATION);
}

void TAudioSetup::ShowDevices() {
    std::vector<int> rates;
    if (chosen_) {
        DevicesLabel->setText(QString::fromStdString(chosen_->statusText()));
        DevicesLabel->show();
        if (!chosen_->overridden()) {
            rates = audio::OfferedRates(chosen_->choice(), chosen_->systems());
        } else if (chosen_->environment()->rfind("room", 0) == 0) {
            audio::AudioChoice room;
            room.settings.system = audio::kRoomSystem;
            rates = audio::OfferedRates(room, {});
        }
    }
    // Filling the list would put its first rate into the edit: the typed one stays.
    const QString typed = main_.sfedit->text();
    RateCombo->clear();
    for (int r : rates) RateCombo->addItem(QString::number(r));
    main_.sfedit->setText(typed);
}

void TAudioSetup::ShowClipping() {
    const QString text = QString::fromStdString(main_.Model().InputMeter().StatusText());
    ClippingLabel->setText(text);
    ClippingLabel->setVisible(!text.isEmpty());
}

void TAudioSetup::RunningChanged() {
    const bool running = main_.Running;
    MeterView->SetActive(running);
    AudioDevicesAction->setEnabled(chosen_ && !running);
    CheckForm->SetMeasuring(running);
    ShowClipping();
}

bool TAudioSetup::BeforeRun() {
    CheckForm->StopAll(); // the measurement takes the devices
    return !CheckForm->beforeruncheck->isChecked() || CheckForm->CheckBeforeRun();
}

void TAudioSetup::AudioDevicesExecute() {
    if (!chosen_ || main_.Running) return;
    SettingsForm->SetChoice(chosen_->enumerate(), settings_, chosen_->environment());
    if (SettingsForm->exec() != QDialog::Accepted) return;
    // A level setting in progress plays on with the new devices and level.
    const bool levelSetting = CheckForm->LevelSetting();
    CheckForm->StopAll();
    Apply(SettingsForm->Choice(), true);
    if (levelSetting) CheckForm->SetLevelSetting(true);
}

void TAudioSetup::CheckLevelsExecute() {
    CheckForm->show();
    CheckForm->raise();
    CheckForm->activateWindow();
}

} // namespace ravlon
