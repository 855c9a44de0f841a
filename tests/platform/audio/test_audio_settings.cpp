// The audio choice: checked against the devices present (fallbacks with one
// message), its status text, its place in the settings store across a
// restart, and a chosen back end that can change while a stream stays open.
#include "../../services/services_fixture.h"
#include "platform/audio/chosen_backend.h"
#include "platform/audio/message_window.h"
#include "services/audio_settings_store.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

using namespace ravlon;
using namespace ravlon::audio;

namespace {

AudioDeviceInfo Device(std::string name, int out, int in, bool isDefault = false) {
    AudioDeviceInfo d{std::move(name), out, in, isDefault && out > 0, isDefault && in > 0, {}};
    d.rates = {44100, 48000};
    return d;
}

std::vector<AudioSystemInfo> Systems() {
    return {
        {"jack", "Jack", false, false, {}},
        {"pulse",
         "Pulse",
         true,
         true,
         {Device("Monitor of ravlon_a", 0, 2, true), Device("ravlon_a", 2, 0, true),
          Device("ravlon_b", 1, 0), Device("Monitor of ravlon_b", 0, 1)}},
        {"alsa", "ALSA", true, false, {Device("default", 32, 32, true)}},
    };
}

AudioSettings Choice(std::string system, std::string out, int outCh, std::string in, int inCh) {
    AudioSettings s;
    s.system = std::move(system);
    s.outputDevice = std::move(out);
    s.outputChannel = outCh;
    s.inputDevice = std::move(in);
    s.inputChannel = inCh;
    return s;
}

} // namespace

TEST(AudioChoice, CheckedAgainstTheDevicesPresentWithOneMessage) {
    const std::string gone = "The output device \"Scarlett 2i2 USB\" is no longer present; the "
                             "default output device is used.";
    struct Case {
        AudioSettings wanted;
        std::string status, message;
    } cases[] = {
        {{}, "Out: ravlon_a / In: Monitor of ravlon_a", ""},
        {Choice("pulse", "ravlon_b", 1, "Monitor of ravlon_b", 1),
         "Out: ravlon_b / In: Monitor of ravlon_b", ""},
        {Choice("", "ravlon_a", 2, "Monitor of ravlon_a", 2),
         "Out: ravlon_a ch 2 / In: Monitor of ravlon_a ch 2", ""},
        {Choice("alsa", "default", 3, "", 1), "Out: default ch 3 / In: default", ""},
        {Choice("pulse", "Scarlett 2i2 USB", 2, "Monitor of ravlon_b", 1),
         "Out: ravlon_a / In: Monitor of ravlon_b", gone},
        {Choice("pulse", "Scarlett 2i2 USB", 1, "Scarlett 2i2 USB", 2),
         "Out: ravlon_a / In: Monitor of ravlon_a",
         gone + "\nThe input device \"Scarlett 2i2 USB\" is no longer present; the default input "
                "device is used."},
        {Choice("pulse", "ravlon_b", 2, "", 3), "Out: ravlon_b / In: Monitor of ravlon_a",
         "The output device \"ravlon_b\" has 1 channel; channel 1 is used instead of channel "
         "2.\nThe input device \"Monitor of ravlon_a\" has 2 channels; channel 1 is used instead "
         "of channel 3."},
        {Choice("jack", "system", 1, "system", 1), "Out: ravlon_a / In: Monitor of ravlon_a",
         "The audio system \"Jack\" is not available; the default audio system is used."},
        {Choice("asio", "", 1, "", 1), "Out: ravlon_a / In: Monitor of ravlon_a",
         "The audio system \"asio\" is not available; the default audio system is used."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const AudioChoice checked = CheckAudioChoice(c.wanted, Systems());
        EXPECT_EQ(AudioStatusText(checked), c.status);
        EXPECT_EQ(checked.message, c.message);
        // What is opened is present: checking it again finds nothing to report.
        EXPECT_EQ(CheckAudioChoice(checked.settings, Systems()).message, "");
    }
    AudioSettings room;
    room.system = kRoomSystem;
    room.roomSettings = "t60=1";
    EXPECT_EQ(AudioStatusText(CheckAudioChoice(room, {})), "Simulated room: t60=1");
    const std::string env = "room:t60=2";
    EXPECT_EQ(AudioStatusText(CheckAudioChoice(room, {}), &env), "RAVLON_AUDIO=room:t60=2");
    EXPECT_EQ(CommonRates(Device("a", 1, 0), {"b", 0, 1, false, false, {8000, 48000, 96000}}),
              std::vector<int>{48000});
}

class AudioSettingsStore : public test::ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        progId.SetProductName("Ravlon");
        progId.SetAutoVersion(false);
        progId.SetVersion("1.0.0.0");
        progId.SetCompany("GessumData");
    }
    // A store as the program makes it at each start.
    std::unique_ptr<TSetting> Store() {
        auto s = std::make_unique<TSetting>();
        s->SetProgId(&progId);
        s->SetLocation(slroaming);
        return s;
    }
    TProgId progId;
};

TEST_F(AudioSettingsStore, ChoiceSurvivesARestartAndAGoneDeviceFallsBackWithOneMessage) {
    EXPECT_EQ(LoadAudioSettings(*Store()), AudioSettings()); // nothing stored: the defaults
    AudioSettings s = Choice("pulse", "Scarlett 2i2 USB", 2, "Monitor of ravlon_b", 1);
    s.roomSettings = "t60=1.5,noise=-60";
    s.outputAttenuation = 12.5;
    SaveAudioSettings(*Store(), s);
    EXPECT_EQ(LoadAudioSettings(*Store()), s);

    // At the next start the interface has gone: one message, the default used,
    // and the stored choice kept for when it comes back.
    ChosenWaveBackend backend(std::nullopt, Systems);
    EXPECT_EQ(backend.choose(LoadAudioSettings(*Store())),
              "The output device \"Scarlett 2i2 USB\" is no longer present; the default output "
              "device is used.");
    EXPECT_EQ(backend.statusText(), "Out: ravlon_a / In: Monitor of ravlon_b");
    EXPECT_EQ(LoadAudioSettings(*Store()), s);

    // Values that cannot be used read as the defaults.
    const std::unique_ptr<TSetting> store = Store();
    TSetting& raw = *store;
    raw.WriteInteger(kAudioSection, "OutputChannel", 0);
    raw.WriteString(kAudioSection, "OutputAttenuation", "120");
    EXPECT_EQ(LoadAudioSettings(raw).outputChannel, 1);
    EXPECT_EQ(LoadAudioSettings(raw).outputAttenuation, 0.0);
    raw.WriteString(kAudioSection, "OutputAttenuation", "loud");
    EXPECT_EQ(LoadAudioSettings(raw).outputAttenuation, 0.0);
}

TEST(ChosenBackend, AnOpenStreamKeepsItsRoomWhenTheChoiceChanges) {
    ChosenWaveBackend backend(std::nullopt, [] { return std::vector<AudioSystemInfo>{}; });
    AudioSettings room;
    room.system = kRoomSystem;
    room.roomSettings = "noise=off,pace=fast";
    EXPECT_EQ(backend.choose(room), "");
    EXPECT_EQ(backend.deviceNames(Direction::Input),
              std::vector<std::string>{"Simulated room microphone"});
    int done = 0;
    MessageWindow window([&done](TMessage& m) { done += m.Msg == MM_WOM_DONE; });
    std::string error;
    std::unique_ptr<WaveStream> out = backend.open(Direction::Output, {48000, 1}, window, error);
    ASSERT_TRUE(out) << error;
    room.roomSettings = "t60=abc";
    backend.choose(room); // the back end lets go of its room, but `out` still plays in it
    std::vector<std::int16_t> samples(4096, 0);
    WaveHeader h;
    h.data = samples.data();
    h.length = int(samples.size());
    ASSERT_EQ(out->prepare(h), "");
    ASSERT_EQ(out->write(h), "");
    ASSERT_EQ(out->restart(), "");
    QElapsedTimer waited;
    waited.start();
    while (done == 0 && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        window.pump();
        QThread::usleep(200);
    }
    EXPECT_EQ(done, 1); // the room's clock played the buffer
    EXPECT_EQ(out->reset(), "");
    EXPECT_EQ(out->close(), "");
    out.reset();
    EXPECT_FALSE(backend.open(Direction::Input, {48000, 1}, window, error));
    EXPECT_NE(error.find("t60"), std::string::npos) << error;

    ChosenWaveBackend overridden(std::string("room:t60=2"));
    EXPECT_EQ(overridden.choose(Choice("pulse", "gone", 1, "gone", 1)), "");
    EXPECT_EQ(overridden.statusText(), "RAVLON_AUDIO=room:t60=2");
}
