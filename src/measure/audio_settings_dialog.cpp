#include "measure/audio_settings_dialog.h"

#include "core/measure/noise_generator.h"
#include "core/room/room_model.h"
#include "platform/appexception.h"
#include "platform/messagebox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

using namespace ravlon::audio;

namespace {

constexpr int kChannelsRole = Qt::UserRole + 1;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string S(const QVariant& v) {
    return v.toString().toStdString();
}

} // namespace

TAudioSettingsForm::TAudioSettingsForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Audio devices");
    auto* top = new QVBoxLayout(this);
    environmentlabel = new QLabel(this);
    environmentlabel->setWordWrap(true);
    environmentlabel->hide();
    top->addWidget(environmentlabel);

    auto* form = new QFormLayout;
    top->addLayout(form);
    systemcombo = new QComboBox(this);
    form->addRow("Audio &system", systemcombo);
    outdevicecombo = new QComboBox(this);
    form->addRow("&Output device", outdevicecombo);
    outchannelspin = new QSpinBox(this);
    form->addRow("Output &channel", outchannelspin);
    indevicecombo = new QComboBox(this);
    form->addRow("&Input device", indevicecombo);
    inchannelspin = new QSpinBox(this);
    form->addRow("In&put channel", inchannelspin);
    roomedit = new QLineEdit(this);
    roomedit->setMinimumWidth(roomedit->fontMetrics().horizontalAdvance("t60=125:0.6/1000:1.0/"
                                                                        "8000:0.5,noise=-60"));
    form->addRow("Simulated &room", roomedit);
    auto* roomhint = new QLabel("The settings of the simulated room as in RAVLON_AUDIO=room:..., "
                                "for example t60=0.8,noise=-60",
                                this);
    roomhint->setWordWrap(true);
    form->addRow("", roomhint);
    attenuationspin = new QDoubleSpinBox(this);
    attenuationspin->setRange(0, ravlon::MaxNoiseAttenuation);
    attenuationspin->setDecimals(1);
    attenuationspin->setSuffix(" dB");
    attenuationspin->setToolTip("Attenuation of the played noise; 0 dB is full scale");
    form->addRow("Output &attenuation", attenuationspin);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    top->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TAudioSettingsForm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TAudioSettingsForm::reject);
    connect(systemcombo, &QComboBox::currentIndexChanged, this,
            ravlon::Guarded(this, [this] { FillDevices(); }));
    // Another device keeps the channel where it can.
    connect(outdevicecombo, &QComboBox::currentIndexChanged, this, ravlon::Guarded(this, [this] {
                FillChannels(outdevicecombo, outchannelspin, outchannelspin->value());
            }));
    connect(indevicecombo, &QComboBox::currentIndexChanged, this, ravlon::Guarded(this, [this] {
                FillChannels(indevicecombo, inchannelspin, inchannelspin->value());
            }));
}

void TAudioSettingsForm::SetChoice(const std::vector<AudioSystemInfo>& systems,
                                   const AudioSettings& choice,
                                   const std::optional<std::string>& environment) {
    systems_ = systems;
    wanted_ = choice;
    environmentlabel->setVisible(environment.has_value());
    if (environment)
        environmentlabel->setText(
            Q("RAVLON_AUDIO=" + *environment +
              " is set: it decides which devices are used until it is unset. The choice made "
              "here is stored for then."));

    const QSignalBlocker block(systemcombo);
    systemcombo->clear();
    std::string defaultName;
    for (const AudioSystemInfo& s : systems_)
        if (s.isDefault && s.usable) defaultName = " (" + s.displayName + ")";
    systemcombo->addItem(Q("Default" + defaultName), QString());
    for (const AudioSystemInfo& s : systems_)
        if (s.usable) systemcombo->addItem(Q(s.displayName), Q(s.id));
    systemcombo->addItem("Simulated room", kRoomSystem);
    int at = systemcombo->findData(Q(choice.system));
    if (at < 0) {
        systemcombo->addItem(Q(choice.system + " (not available)"), Q(choice.system));
        at = systemcombo->count() - 1;
    }
    systemcombo->setCurrentIndex(at);
    roomedit->setText(Q(choice.roomSettings));
    attenuationspin->setValue(choice.outputAttenuation);
    FillDevices();
}

const AudioSystemInfo* TAudioSettingsForm::CurrentSystem() const {
    const std::string id = S(systemcombo->currentData());
    for (const AudioSystemInfo& s : systems_)
        if (s.usable && (id.empty() ? s.isDefault : s.id == id)) return &s;
    return nullptr;
}

void TAudioSettingsForm::FillDevices() {
    const bool room = S(systemcombo->currentData()) == kRoomSystem;
    for (QWidget* w : {static_cast<QWidget*>(outdevicecombo), static_cast<QWidget*>(indevicecombo),
                       static_cast<QWidget*>(outchannelspin), static_cast<QWidget*>(inchannelspin)})
        w->setEnabled(!room);
    roomedit->setEnabled(room);
    FillDevices(outdevicecombo, true);
    FillDevices(indevicecombo, false);
}

void TAudioSettingsForm::FillDevices(QComboBox* combo, bool output) {
    const AudioSystemInfo* sys = CurrentSystem();
    const bool wantedSystem = S(systemcombo->currentData()) == wanted_.system;
    const std::string& wanted = output ? wanted_.outputDevice : wanted_.inputDevice;
    const int wantedChannel = output ? wanted_.outputChannel : wanted_.inputChannel;
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItem("Default", QString());
    if (sys)
        for (const AudioDeviceInfo& d : sys->devices) {
            const int channels = output ? d.outputChannels : d.inputChannels;
            if (channels <= 0) continue;
            if (output ? d.defaultOutput : d.defaultInput) {
                combo->setItemText(0, Q("Default (" + d.name + ")"));
                combo->setItemData(0, channels, kChannelsRole);
            }
            combo->addItem(Q(d.name), Q(d.name));
            combo->setItemData(combo->count() - 1, channels, kChannelsRole);
        }
    int at = 0;
    if (wantedSystem) {
        at = combo->findData(Q(wanted));
        if (at < 0) {
            combo->addItem(Q(wanted + " (not present)"), Q(wanted));
            at = combo->count() - 1;
            combo->setItemData(at, std::max(1, wantedChannel), kChannelsRole);
        }
    }
    combo->setCurrentIndex(at);
    FillChannels(combo, output ? outchannelspin : inchannelspin,
                 wantedSystem && at > 0 ? wantedChannel : 1);
}

void TAudioSettingsForm::FillChannels(QComboBox* combo, QSpinBox* spin, int wanted) {
    // An unknown channel count (no devices listed) leaves every channel open.
    const QVariant known = combo->currentData(kChannelsRole);
    spin->setRange(1, known.isValid() ? std::max(1, known.toInt()) : 256);
    spin->setValue(std::clamp(wanted, 1, spin->maximum()));
}

AudioSettings TAudioSettingsForm::Choice() const {
    AudioSettings s;
    s.system = S(systemcombo->currentData());
    s.roomSettings = roomedit->text().trimmed().toStdString();
    s.outputAttenuation = attenuationspin->value();
    if (s.IsRoom()) return s;
    s.outputDevice = S(outdevicecombo->currentData());
    s.outputChannel = outchannelspin->value();
    s.inputDevice = S(indevicecombo->currentData());
    s.inputChannel = inchannelspin->value();
    return s;
}

void TAudioSettingsForm::accept() {
    const AudioSettings s = Choice();
    if (s.IsRoom()) {
        try {
            ravlon::RoomConfig::parse(s.roomSettings);
        } catch (const std::exception& e) {
            ravlon::ShowMessageBox(std::string("The simulated room's settings cannot be used: ") +
                                       e.what(),
                                   "Audio devices", ravlon::MB_OK | ravlon::MB_ICONEXCLAMATION);
            roomedit->setFocus();
            return;
        }
    }
    QDialog::accept();
}
