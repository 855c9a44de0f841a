// TMPCPlay and TMPCRecord on a real PulseAudio server: a private daemon with
// a 48 kHz null sink whose monitor is the default source. The played noise
// must come back bit for bit after one fixed latency; a server that dies
// mid-run must be reported, without a hang, keeping what was recorded. With
// two sinks, the chosen devices are the ones used, and `ravlon --list-devices`
// lists them.
#include "loop_helpers.h"
#include "measure/wave_play_record.h"
#include "platform/audio/chosen_backend.h"
#include "platform/audio/rtaudio_backend.h"
#include "pulse_server.h"

#include <gtest/gtest.h>

using namespace ravlon;
using namespace ravlon::test;
using namespace std::chrono_literals;

namespace {

// Plays what the program plays: a stretch of pre-noise silence, the noise
// generator's sequence, post-noise silence. The silence gives the recording time to start
// (the program starts it from the first output buffer), so every noise
// sample must come back.
struct Loopback {
    static constexpr std::size_t kLeadIn = 24000; // 0.5 s of silence
    // Silence after the noise, as the program's post-noise silence: the last
    // device buffers of a stream that ends are not played to the end.
    static constexpr std::size_t kTail = 12000;
    std::shared_ptr<audio::WaveBackend> backend;
    TMPCPlay play{backend};
    TMPCRecord rec{backend};
    std::vector<std::int16_t> played, recorded;
    test::NoiseLcg lcg;
    std::size_t noise, toPlay;

    // b: the back end (default: the sound card's default devices).
    explicit Loopback(std::size_t noiseSamples, std::shared_ptr<audio::WaveBackend> b = nullptr)
        : backend(b ? std::move(b) : std::make_shared<audio::RtAudioBackend>()),
          noise(noiseSamples), toPlay(kLeadIn + noiseSamples + kTail) {
        play.setsfTot(48000);
        play.setnBuffers(16);
        rec.setsfTot(48000);
        rec.setnBuffers(16);
        played.reserve(toPlay);
        play.OnStash = [this](TWaveChunk& arr, int& used, bool&) {
            const std::size_t n = std::min<std::size_t>(std::size_t(used), toPlay - played.size());
            for (std::size_t k = 0; k < n; ++k) {
                const bool silent = played.size() < kLeadIn || played.size() >= kLeadIn + noise;
                arr[k] = silent ? std::int16_t(0) : lcg.next();
                played.push_back(arr[k]);
            }
            used = int(n);
            if (!rec.Active()) rec.Start();
        };
        rec.OnFetch = [this](TWaveChunk& arr, int used, bool&) {
            recorded.insert(recorded.end(), arr.begin(), arr.begin() + used);
        };
    }
    ~Loopback() {
        try {
            play.Stop();
            rec.Stop();
        } catch (const std::exception&) {
            // The test reports what matters; tearing down must not throw.
        }
    }
    // Index of the recording at which the first noise sample arrived, or npos.
    std::size_t offset() const {
        const std::size_t probe = 64;
        if (played.size() < kLeadIn + probe) return std::string::npos;
        const auto first = played.begin() + std::ptrdiff_t(kLeadIn);
        for (std::size_t i = 0; i + probe <= recorded.size(); ++i)
            if (std::equal(first, first + probe, recorded.begin() + std::ptrdiff_t(i))) return i;
        return std::string::npos;
    }
};

} // namespace

TEST(PulseLoopback, TwentySecondsOfNoiseComeBackBitExact) {
    PulseServer server;
    const std::string why = server.start();
    if (why == "no pulseaudio binary") GTEST_SKIP() << "no pulseaudio binary on this machine";
    ASSERT_TRUE(why.empty()) << why;
    ScopedEnv env("PULSE_SERVER", server.server());
    test::ExceptionCatcher catcher;

    const std::size_t samples = 20 * 48000;
    Loopback lb(samples);
    lb.play.Start();
    bool done = test::RunUntil(
        [&] {
            const std::size_t off = lb.offset();
            return !catcher.messages.empty() ||
                   (off != std::string::npos && lb.recorded.size() >= off + lb.noise &&
                    !lb.play.Active());
        },
        45s);
    ASSERT_TRUE(catcher.messages.empty()) << catcher.messages.front();
    ASSERT_TRUE(done) << "recorded " << lb.recorded.size() << " samples";
    EXPECT_FALSE(lb.play.Active()); // used = 0 after 20 s: the output closed itself
    lb.rec.Stop();
    const std::size_t off = lb.offset();
    ASSERT_EQ(lb.played.size(), lb.toPlay);
    std::size_t mismatches = 0, first = 0, last = 0;
    for (std::size_t i = Loopback::kLeadIn; i < Loopback::kLeadIn + lb.noise; ++i)
        if (lb.recorded[off + i - Loopback::kLeadIn] != lb.played[i]) {
            if (mismatches++ == 0) first = i;
            last = i;
        }
    EXPECT_EQ(mismatches, 0u) << "noise arrived at recorded sample " << off << "; played samples "
                              << first << " .. " << last << " differ";
    // Nothing but silence before the noise arrives.
    for (std::size_t i = 0; i < off; ++i) ASSERT_EQ(lb.recorded[i], 0) << i;
    EXPECT_EQ(lb.play.Dropouts(), 0u);
    EXPECT_EQ(lb.rec.Dropouts(), 0u);
}

TEST(PulseLoopback, ServerKilledMidRunIsReportedAndTheRecordingKept) {
    PulseServer server;
    const std::string why = server.start();
    if (why == "no pulseaudio binary") GTEST_SKIP() << "no pulseaudio binary on this machine";
    ASSERT_TRUE(why.empty()) << why;
    ScopedEnv env("PULSE_SERVER", server.server());
    test::ExceptionCatcher catcher;

    Loopback lb(60 * 48000);
    lb.play.Start();
    ASSERT_TRUE(test::RunUntil([&] { return lb.recorded.size() >= 2 * 48000; }, 20s));
    server.kill();
    EXPECT_TRUE(test::RunUntil([&] { return catcher.messages.size() >= 2; }, 15s));
    ASSERT_FALSE(catcher.messages.empty());
    for (const std::string& m : catcher.messages)
        EXPECT_TRUE(m.rfind("WaveOutWrite:", 0) == 0 || m.rfind("waveinWrite:", 0) == 0) << m;
    const std::size_t kept = lb.recorded.size();
    lb.play.Stop();
    lb.rec.Stop();
    EXPECT_FALSE(lb.play.Active());
    EXPECT_FALSE(lb.rec.Active());
    // What was recorded before the failure is intact: the noise, in order.
    const std::size_t off = lb.offset();
    ASSERT_NE(off, std::string::npos);
    EXPECT_GE(kept, 2u * 48000);
    const std::size_t n =
        std::min(kept - off, std::min(lb.played.size() - Loopback::kLeadIn, lb.noise));
    EXPECT_GT(n, 48000u);
    EXPECT_TRUE(std::equal(lb.recorded.begin() + std::ptrdiff_t(off),
                           lb.recorded.begin() + std::ptrdiff_t(off + n),
                           lb.played.begin() + std::ptrdiff_t(Loopback::kLeadIn)));
}

TEST(PulseLoopback, NoServerIsAReadableOpenErrorWithNothingLeftOpen) {
    QTemporaryDir dir;
    ScopedEnv env("PULSE_SERVER", "unix:" + dir.filePath("absent").toStdString());
    ScopedEnv noJack("JACK_NO_START_SERVER", "1");
    auto backend = std::make_shared<audio::RtAudioBackend>();
    TMPCPlay play(backend);
    TMPCRecord rec(backend);
    play.OnStash = [](TWaveChunk&, int&, bool&) {};
    rec.OnFetch = [](TWaveChunk&, int, bool&) {};
    try {
        play.Start();
        FAIL() << "played without a server";
    } catch (const EMPCError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("WaveOutOpen:", 0), 0u) << m;
        EXPECT_GT(m.size(), std::string("WaveOutOpen:").size() + 10) << m;
    }
    try {
        rec.Start();
        FAIL() << "recorded without a server";
    } catch (const EMPCError& e) {
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("waveinOpen:", 0), 0u) << m;
        EXPECT_GT(m.size(), std::string("waveinOpen:").size() + 10) << m;
    }
    EXPECT_FALSE(play.Active());
    EXPECT_FALSE(rec.Active());
}

namespace {

// Plays and records 1 s of noise on the chosen devices; the run, or nothing
// when the devices could not be opened (`error` then says why).
std::unique_ptr<Loopback> RunChosen(const audio::AudioSettings& choice, std::string& error) {
    auto backend = std::make_shared<audio::ChosenWaveBackend>(std::nullopt);
    EXPECT_EQ(backend->choose(choice), ""); // both devices found
    auto lb = std::make_unique<Loopback>(48000, backend);
    ExceptionCatcher catcher;
    try {
        lb->play.Start();
    } catch (const EMPCError& e) {
        error = e.what();
        return nullptr;
    }
    EXPECT_TRUE(RunUntil([&] { return !lb->play.Active() || !catcher.messages.empty(); }, 20s));
    EXPECT_TRUE(RunUntil([&] { return lb->recorded.size() >= lb->toPlay; }, 10s));
    lb->rec.Stop();
    EXPECT_TRUE(catcher.messages.empty()) << catcher.messages.front();
    return lb;
}

} // namespace

TEST(PulseLoopback, ChosenDevicesAreUsedAndTheOtherSinkStaysSilent) {
    PulseServer server;
    const std::string why = server.start({"ravlon_a", "ravlon_b"});
    if (why == "no pulseaudio binary") GTEST_SKIP() << "no pulseaudio binary on this machine";
    ASSERT_TRUE(why.empty()) << why;
    ScopedEnv env("PULSE_SERVER", server.server());
    audio::AudioSettings choice;
    choice.system = "pulse";
    choice.outputDevice = "ravlon_b";
    choice.inputDevice = "Monitor of ravlon_b";
    std::string error;

    // ravlon_b played, its monitor recorded (neither is the default): bit exact.
    std::unique_ptr<Loopback> lb = RunChosen(choice, error);
    ASSERT_TRUE(lb) << error;
    const std::size_t off = lb->offset();
    ASSERT_NE(off, std::string::npos);
    ASSERT_GE(lb->recorded.size(), off + lb->noise);
    EXPECT_TRUE(std::equal(lb->played.begin() + Loopback::kLeadIn,
                           lb->played.begin() + std::ptrdiff_t(Loopback::kLeadIn + lb->noise),
                           lb->recorded.begin() + std::ptrdiff_t(off)));

    // The other sink played: nothing reaches ravlon_b's monitor.
    choice.outputDevice = "ravlon_a";
    lb = RunChosen(choice, error);
    ASSERT_TRUE(lb) << error;
    EXPECT_GE(lb->recorded.size(), lb->toPlay);
    EXPECT_TRUE(
        std::all_of(lb->recorded.begin(), lb->recorded.end(), [](auto v) { return v == 0; }));

    // A channel the device lacks and a device that has gone: errors naming the
    // device (opened as they are, without the check that falls back).
    choice.inputChannel = 2;
    choice.outputDevice = "Scarlett 2i2 USB";
    auto unchecked = std::make_shared<audio::RtAudioBackend>(choice);
    TMPCPlay play(unchecked);
    TMPCRecord rec(unchecked);
    const std::pair<std::function<void()>, std::string> opens[] = {
        {[&] { rec.Open(); },
         "waveinOpen:Monitor of ravlon_b: the device has 1 input channel; channel 2 does not "
         "exist."},
        {[&] { play.Open(); }, "WaveOutOpen:Scarlett 2i2 USB: the device is not present."}};
    for (const auto& [open, message] : opens) {
        try {
            open();
            ADD_FAILURE() << "opened: " << message;
        } catch (const EMPCError& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
    EXPECT_FALSE(play.Active() || rec.Active());
}
