// Full runs of TMPCPlay and TMPCRecord through the simulated room in fast
// mode: the click response, its decay, the background noise, determinism,
// WAV responses, bad settings, lost buffers and memory over a long run.
#include "../core/room/decay_analysis.h"
#include "loop_helpers.h"
#include "measure/wave_play_record.h"
#include "platform/audio/room_backend.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <complex>
#include <fstream>

using namespace ravlon;
using namespace std::chrono_literals;

namespace {

struct RunResult {
    std::vector<std::int16_t> recorded;
    std::vector<double> ir;
    std::size_t latency = 0;
    std::uint64_t dropouts = 0;
    std::vector<std::string> errors;
};

// Plays `signal` (then silence) and records `samples` values at 48 kHz mono,
// starting the recording from the first stash like the main window.
RunResult RunRoom(const std::string& settings, const std::vector<std::int16_t>& signal,
                  std::size_t samples) {
    RunResult r;
    test::ExceptionCatcher catcher;
    auto backend = std::make_shared<audio::RoomBackend>(settings);
    TMPCPlay play(backend);
    TMPCRecord rec(backend);
    play.setsfTot(48000);
    rec.setsfTot(48000);
    play.setnBuffers(8);
    rec.setnBuffers(8);
    std::size_t pos = 0;
    play.OnStash = [&](TWaveChunk& arr, int& used, bool&) {
        for (int k = 0; k < used; ++k, ++pos)
            arr[std::size_t(k)] = pos < signal.size() ? signal[pos] : 0;
        if (!rec.Active()) rec.Start();
    };
    rec.OnFetch = [&](TWaveChunk& arr, int used, bool&) {
        r.recorded.insert(r.recorded.end(), arr.begin(), arr.begin() + used);
    };
    play.Start();
    r.ir = backend->simulator()->impulseResponse();
    r.latency = backend->simulator()->latencySamples();
    EXPECT_TRUE(test::RunUntil([&] { return r.recorded.size() >= samples; }, 50s));
    play.Stop();
    rec.Stop();
    r.dropouts = play.Dropouts() + rec.Dropouts();
    r.recorded.resize(std::min(r.recorded.size(), samples));
    r.errors = catcher.messages;
    return r;
}

std::vector<std::int16_t> Click() {
    return {32767};
}

} // namespace

TEST(RoomRun, ClickComesBackAsTheImpulseResponseAfterTheLatencyWithTheConfiguredDecay) {
    for (double t60 : {0.5, 1.2}) {
        SCOPED_TRACE(t60);
        const std::string settings =
            "t60=" + std::to_string(t60) + ",noise=off,latency=15,seed=3,pace=fast";
        const std::size_t length = std::size_t(1.5 * t60 * 48000) + 2000;
        RunResult r = RunRoom(settings, Click(), length);
        ASSERT_EQ(r.recorded.size(), length);
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(r.dropouts, 0u);
        ASSERT_EQ(r.latency, 720u); // 15 ms at 48 kHz
        for (std::size_t i = 0; i < r.latency; ++i) ASSERT_EQ(r.recorded[i], 0) << i;
        int worst = 0;
        for (std::size_t k = 0; k < r.ir.size() && r.latency + k < length; ++k) {
            const double want = std::clamp(std::nearbyint(32767.0 * r.ir[k]), -32768.0, 32767.0);
            worst = std::max(worst, int(std::abs(r.recorded[r.latency + k] - want)));
        }
        EXPECT_LE(worst, 1); // rounding of the FFT convolution only
        std::vector<double> response(r.recorded.begin() + std::ptrdiff_t(r.latency),
                                     r.recorded.end());
        for (double centre : {250.0, 500.0, 1000.0, 2000.0, 4000.0}) {
            const double t30 = test::OctaveBandT30(response, centre, 48000);
            EXPECT_NEAR(t30, t60, 0.03 * t60) << centre << " Hz";
        }
    }
}

TEST(RoomRun, PerBandDecayFollowsTheGivenPoints) {
    RunResult r = RunRoom("t60=250:0.4/4000:1.0,noise=off,latency=0,pace=fast", Click(), 80000);
    std::vector<double> response(r.recorded.begin(), r.recorded.end());
    RoomConfig c = RoomConfig::parse("t60=250:0.4/4000:1.0");
    for (double centre : {1000.0, 2000.0})
        // Neighbouring bands decay differently and the analysis band's edges
        // overlap them a little: 5 % here, 3 % where all bands agree.
        EXPECT_NEAR(test::OctaveBandT30(response, centre, 48000), c.t60At(centre),
                    0.05 * c.t60At(centre))
            << centre;
}

TEST(RoomRun, BackgroundNoiseHasTheConfiguredLevelAndSeedsRepeat) {
    RunResult a = RunRoom("t60=0.5,noise=-60,seed=9,pace=fast", {}, 96000);
    ASSERT_EQ(a.recorded.size(), 96000u);
    double power = 0;
    for (std::int16_t v : a.recorded) power += double(v) * v;
    const double db = 10 * std::log10(power / double(a.recorded.size()) / (32768.0 * 32768.0));
    EXPECT_NEAR(db, -60.0, 0.3);

    std::vector<std::int16_t> noise(30000);
    test::NoiseLcg lcg;
    for (auto& v : noise) v = lcg.next();
    RunResult b1 = RunRoom("t60=0.8,noise=-50,seed=4,pace=fast", noise, 60000);
    RunResult b2 = RunRoom("t60=0.8,noise=-50,seed=4,pace=fast", noise, 60000);
    RunResult b3 = RunRoom("t60=0.8,noise=-50,seed=5,pace=fast", noise, 60000);
    EXPECT_EQ(b1.recorded, b2.recorded);
    EXPECT_NE(b1.recorded, b3.recorded);
}

TEST(RoomRun, ImpulseResponseFromAWavFile) {
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("ir.wav").toStdString();
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const double ir[] = {0.5, -0.25, 0.125, 0.0, 0.0625};
    sf_writef_double(f, ir, 5);
    sf_close(f);
    RunResult r =
        RunRoom("ir=" + path + ",noise=off,latency=1,pace=fast", {32767, 0, 0, -32768}, 2000);
    ASSERT_EQ(r.latency, 48u);
    const std::vector<double> played{32767, 0, 0, -32768};
    for (std::size_t t = 0; t < 12; ++t) {
        double want = 0;
        for (std::size_t k = 0; k < 5; ++k)
            if (t >= k && t - k < played.size()) want += ir[k] * played[t - k];
        EXPECT_NEAR(r.recorded[48 + t], want, 1) << t;
    }

    // A file at another rate is refused with the reason, nothing stays open.
    auto backend = std::make_shared<audio::RoomBackend>("ir=" + path);
    TMPCRecord rec(backend);
    rec.setsfTot(44100);
    rec.OnFetch = [](TWaveChunk&, int, bool&) {};
    try {
        rec.Start();
        FAIL() << "no error";
    } catch (const EMPCError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("waveinOpen:RAVLON_AUDIO: the impulse response", 0),
                  0u)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("44100 Hz"), std::string::npos);
    }
    EXPECT_FALSE(rec.Active());
}

TEST(RoomRun, BadSettingsFailTheOpenWithTheReason) {
    auto backend = audio::MakeWaveBackend("room:t60=abc");
    TMPCPlay play(backend);
    play.OnStash = [](TWaveChunk&, int&, bool&) {};
    try {
        play.Start();
        FAIL() << "no error";
    } catch (const EMPCError& e) {
        EXPECT_STREQ(e.what(), "WaveOutOpen:RAVLON_AUDIO: t60=abc is not a number");
    }
    EXPECT_FALSE(play.Active());
    TMPCRecord rec(audio::MakeWaveBackend("loopback"));
    rec.OnFetch = [](TWaveChunk&, int, bool&) {};
    EXPECT_THROW(rec.Start(), EMPCError);
    EXPECT_FALSE(rec.Active());
}

TEST(RoomRun, AnOwnerTooSlowForRealTimeIsToldOfTheLostInput) {
    test::ExceptionCatcher catcher;
    auto backend = std::make_shared<audio::RoomBackend>("t60=0.3,pace=realtime");
    TMPCRecord rec(backend);
    rec.setsfTot(48000);
    rec.setnBuffers(2);
    rec.setnChunkSamples(1024);
    int fetched = 0, told = 0;
    rec.OnFetch = [&](TWaveChunk&, int, bool&) {
        // Two buffers hold 43 ms; stalling 100 ms loses input.
        if (++fetched == 3) QThread::msleep(100);
    };
    rec.OnDropout = [&] { ++told; };
    rec.Start();
    EXPECT_TRUE(test::RunUntil([&] { return told > 0 && fetched > 8; }, 10s));
    rec.Stop();
    EXPECT_GE(rec.Dropouts(), 1u);
    EXPECT_GE(rec.DroppedSamples(), 1024u);
    EXPECT_TRUE(catcher.messages.empty());
}

namespace {
long PeakRssKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmHWM:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 12, '\n');
    }
    return -1;
}
} // namespace

TEST(RoomLongRun, TenMinutesOfLoopbackKeepPeakMemoryFlatAfterTheFirstSecond) {
    test::ExceptionCatcher catcher;
    auto backend = std::make_shared<audio::RoomBackend>("t60=0.3,noise=-60,pace=fast");
    TMPCPlay play(backend);
    TMPCRecord rec(backend);
    play.setsfTot(48000);
    rec.setsfTot(48000);
    play.setnBuffers(16);
    rec.setnBuffers(16);
    test::NoiseLcg lcg;
    play.OnStash = [&](TWaveChunk& arr, int& used, bool&) {
        for (int k = 0; k < used; ++k) arr[std::size_t(k)] = lcg.next();
        if (!rec.Active()) rec.Start();
    };
    std::uint64_t total = 0;
    long afterOneSecond = -1;
    rec.OnFetch = [&](TWaveChunk&, int used, bool&) {
        total += std::uint64_t(used);
        if (afterOneSecond < 0 && total >= 48000) afterOneSecond = PeakRssKb();
    };
    play.Start();
    const std::uint64_t tenMinutes = 600ull * 48000;
    EXPECT_TRUE(test::RunUntil([&] { return total >= tenMinutes; }, 55s));
    play.Stop();
    rec.Stop();
    const long end = PeakRssKb();
    ASSERT_GT(afterOneSecond, 0);
    EXPECT_LE(end - afterOneSecond, 256)
        << "peak RSS grew from " << afterOneSecond << " kB to " << end << " kB";
    EXPECT_EQ(rec.Dropouts(), 0u);
    EXPECT_TRUE(catcher.messages.empty());
}
