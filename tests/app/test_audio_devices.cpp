// The sound devices in the windows: the audio dialog's choice stored and
// restored at the next start (a gone device named once), the input meter and
// the clipped cycles during a run, and the check window's margins and advice.
#include "app_fixture.h"

#include "measure/audio_settings_dialog.h"
#include "measure/audio_setup.h"
#include "measure/level_check_window.h"
#include "platform/audio/chosen_backend.h"
#include "widgets/input_meter_view.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace ravlon;
using namespace ravlon::audio;

namespace {

AudioDeviceInfo Device(std::string name, int out, int in, std::vector<int> rates) {
    return {std::move(name), out, in, false, false, std::move(rates)};
}

std::vector<AudioSystemInfo> Systems(bool withB) {
    AudioSystemInfo pulse{"pulse", "Pulse", true, true, {}};
    pulse.devices = {Device("ravlon_a", 2, 0, {44100, 48000}),
                     Device("Monitor of ravlon_a", 0, 2, {44100, 48000})};
    pulse.devices[0].defaultOutput = pulse.devices[1].defaultInput = true;
    if (withB) pulse.devices.push_back(Device("ravlon_b", 1, 0, {16000, 48000, 96000}));
    pulse.devices.push_back(Device("Monitor of ravlon_b", 0, 1, {48000, 96000}));
    return {{"jack", "Jack", false, false, {}}, pulse};
}

QStringList Items(const QComboBox* c) {
    QStringList items;
    for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
    return items;
}

} // namespace

class AudioDevices : public AppFixture {
protected:
    void Start(bool withB) {
        StartForms(
            std::make_shared<ChosenWaveBackend>(std::nullopt, [withB] { return Systems(withB); }));
        audio = windows->Audio.get();
    }
    // Opens the audio dialog and lets edit answer it while it shows.
    void WithDialog(const std::function<void(TAudioSettingsForm&)>& edit) {
        bool done = false;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (done || !audio->SettingsForm->isVisible()) return;
            done = true;
            edit(*audio->SettingsForm);
        });
        timer.start();
        audio->AudioDevicesAction->trigger();
        EXPECT_TRUE(done);
    }
    // Ends the program's windows, as at the end of a session.
    void Close() {
        Form1->close();
        windows.reset();
        Form1 = nullptr;
    }
    std::string Devices() const { return audio->DevicesLabel->text().toStdString(); }
    TAudioSetup* audio = nullptr;
};

TEST_F(AudioDevices, TheChoiceSurvivesARestartAndAGoneDeviceFallsBackWithOneMessage) {
    Start(true);
    EXPECT_EQ(Devices(), "Out: ravlon_a / In: Monitor of ravlon_a");
    EXPECT_EQ(Items(audio->RateCombo), (QStringList{"44100", "48000"}));
    EXPECT_EQ(Form1->sfedit->text(), "48000"); // the typed rate stays
    WithDialog([&](TAudioSettingsForm& d) {
        // A room setting that cannot be read keeps the dialog open with the reason.
        d.systemcombo->setCurrentIndex(d.systemcombo->findData("room"));
        d.roomedit->setText("t60=abc");
        d.accept();
        EXPECT_TRUE(d.isVisible());
        d.systemcombo->setCurrentIndex(d.systemcombo->findData("pulse"));
        EXPECT_FALSE(d.roomedit->isEnabled());
        d.outdevicecombo->setCurrentIndex(d.outdevicecombo->findData("ravlon_b"));
        d.indevicecombo->setCurrentIndex(d.indevicecombo->findData("Monitor of ravlon_b"));
        d.attenuationspin->setValue(12);
        d.accept();
    });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].text.find("t60=abc"), std::string::npos) << messages[0].text;
    EXPECT_EQ(Devices(), "Out: ravlon_b / In: Monitor of ravlon_b");
    EXPECT_EQ(Items(audio->RateCombo), (QStringList{"48000", "96000"}));
    EXPECT_EQ(windows->Model.Store().NoiseAttenuation(), 12);

    // The next start: ravlon_b has gone. One message, the default used, the rest kept.
    Close();
    messages.clear();
    Start(false);
    ASSERT_EQ(messages.size(), 1u) << MessageTexts();
    EXPECT_EQ(messages[0].text, "The output device \"ravlon_b\" is no longer present; the "
                                "default output device is used.");
    EXPECT_EQ(Devices(), "Out: ravlon_a / In: Monitor of ravlon_b");
    EXPECT_EQ(windows->Model.Store().NoiseAttenuation(), 12);
    // The dialog still names the stored device, so OK keeps it for when it is back.
    WithDialog([](TAudioSettingsForm& d) {
        EXPECT_EQ(d.outdevicecombo->currentText(), "ravlon_b (not present)");
        EXPECT_EQ(d.inchannelspin->maximum(), 1);
        d.reject();
    });
    EXPECT_EQ(audio->Settings().outputDevice, "ravlon_b");
}

TEST_F(AudioDevices, TheMeterShowsTheRunsLevelAndTheClippedCyclesAreNamed) {
    // The noise plays at -4.77 dBFS RMS; the room takes 10 dB off, or adds 6 (clipping).
    for (const char* gain : {"-10", "6"}) {
        SCOPED_TRACE(gain);
        StartForms(std::string("room:t60=0.3,noise=-90,pace=fast,gain=") + gain);
        audio = windows->Audio.get();
        const bool clips = std::string(gain) == "6";
        double loudest = TInputMeter::MeterFloor;
        QString shown;
        int clipTold = 0;
        auto sink = windows->Model.ObserveSamples([&](const int16_t*, int32_t, bool) {
            loudest = std::max(loudest, windows->Model.InputMeter().Rms());
            if (shown.isEmpty()) shown = audio->MeterView->LevelText();
        });
        auto told =
            windows->Model.Observe([&](unsigned c) { clipTold += (c & ChangeClipping) != 0; });
        EXPECT_FALSE(audio->MeterView->Active());
        PressRun();
        ASSERT_TRUE(WaitForCycles(2));
        EXPECT_TRUE(audio->MeterView->Active());
        Form1->RunAction->trigger();
        EXPECT_FALSE(audio->MeterView->Active());
        EXPECT_TRUE(audio->MeterView->LevelText().isEmpty());
        EXPECT_TRUE(shown.startsWith("Peak ") && shown.contains("\nRMS ")) << shown.toStdString();
        const TInputMeter& meter = windows->Model.InputMeter();
        if (clips) {
            EXPECT_GT(loudest, -6);
            EXPECT_GT(meter.ClippedInCycle(1), 0);
            EXPECT_EQ(clipTold, int(meter.ClippedCycles().size()));
            EXPECT_TRUE(audio->ClippingLabel->text().startsWith("Input clipped in cycles 1-"))
                << audio->ClippingLabel->text().toStdString();
        } else {
            EXPECT_NEAR(loudest, -14.77, 1.5);
            EXPECT_FALSE(meter.Clipped());
        }
        EXPECT_EQ(audio->ClippingLabel->isVisible(), clips);
        sink = {};
        told = {};
        Close();
    }
}

TEST_F(AudioDevices, TheCheckWindowShowsMarginsAndAdviceAndCanCheckBeforeEveryRun) {
    for (int background : {-40, -90}) {
        SCOPED_TRACE(background);
        StartForms("room:t60=0.3,gain=-10,pace=fast,noise=" + std::to_string(background));
        TLevelCheckForm& check = *windows->Audio->CheckForm;
        windows->Audio->CheckLevelsAction->trigger();
        ASSERT_TRUE(check.isVisible());
        WatchWarning([&] { check.checkbutton->click(); }, false);
        EXPECT_TRUE(warningShown);
        ASSERT_TRUE(WaitFor([&] { return check.Result().has_value(); }));
        // The noise arrives at -14.77 dBFS RMS: every octave's margin follows the background.
        for (int band = 0; band < 8; ++band) {
            bool ok = false;
            const double margin = check.CellText(band, 3).toDouble(&ok);
            ASSERT_TRUE(ok) << check.CellText(band, 3).toStdString();
            EXPECT_NEAR(margin, -14.77 - background, 2.0) << band;
            EXPECT_EQ(check.CellText(band, 6), background < -80 ? "yes" : "no");
        }
        const QString advice = check.advicelabel->text();
        EXPECT_TRUE(advice.contains(background < -80
                                        ? "The level is enough for EDT, T20 and T30 in every octave"
                                        : "T30 and T20 not possible in any octave; use EDT"))
            << advice.toStdString();

        // Before every run: a level good everywhere starts the run at once; a
        // poor one waits for the user, who cancels here.
        check.beforeruncheck->setChecked(true);
        int cancelled = 0;
        QTimer cancel;
        QObject::connect(&cancel, &QTimer::timeout, [&] {
            if (!check.measurebutton->isVisible() || !check.measurebutton->isEnabled()) return;
            ++cancelled;
            check.closebutton->click();
        });
        cancel.start(10);
        PressRun();
        cancel.stop();
        EXPECT_EQ(Form1->Running, background < -80);
        EXPECT_EQ(cancelled, background < -80 ? 0 : 1);
        if (Form1->Running) Form1->RunAction->trigger();

        // Setting the level: the noise plays, and the meter shows it, until stopped.
        windows->Audio->CheckLevelsAction->trigger();
        check.levelbutton->click();
        EXPECT_TRUE(check.LevelSetting());
        EXPECT_TRUE(WaitFor([&] { return check.Meter().Rms() > -20; }, 30000));
        check.levelbutton->click();
        EXPECT_FALSE(check.Active());
        Close();
    }
}
