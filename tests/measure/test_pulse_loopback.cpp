// TMPCPlay and TMPCRecord on a real PulseAudio server: a private daemon with
// a 48 kHz null sink whose monitor is the default source. The played noise
// must come back bit for bit after one fixed latency; a server that dies
// mid-run must be reported, without a hang, keeping what was recorded.
#include "loop_helpers.h"
#include "measure/wave_play_record.h"
#include "platform/audio/rtaudio_backend.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <optional>

using namespace ravlon;
using namespace std::chrono_literals;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A private pulseaudio daemon; always killed by its PID on destruction. A
// daemon started outside the test process (RAVLON_TEST_PULSE_SERVER and
// RAVLON_TEST_PULSE_PID, set by the ThreadSanitizer run, where forking a
// process from the test makes the sanitizer report false races) is used
// instead when given.
class PulseServer {
public:
    // Empty result: running. Otherwise the reason it could not start.
    std::string start() {
        const char* external = std::getenv("RAVLON_TEST_PULSE_SERVER");
        if (external && *external) {
            externalServer_ = external;
            if (const char* pid = std::getenv("RAVLON_TEST_PULSE_PID")) externalPid_ = std::atoi(pid);
            return {};
        }
        const QString exe = QStandardPaths::findExecutable("pulseaudio");
        if (exe.isEmpty()) return "no pulseaudio binary";
        if (!dir_.isValid()) return "no temporary directory";
        const QString runtime = dir_.filePath("run");
        QDir().mkpath(runtime);
        QDir().mkpath(dir_.filePath("home"));
        socket_ = dir_.filePath("native").toStdString();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("PULSE_RUNTIME_PATH", runtime);
        env.insert("PULSE_STATE_PATH", dir_.filePath("state"));
        env.insert("HOME", dir_.filePath("home"));
        env.remove("PULSE_SERVER");
        proc_.setProcessEnvironment(env);
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.start(exe, {"--daemonize=no", "--system=no", "--exit-idle-time=-1", "-n",
                          "--use-pid-file=no", "--disallow-exit", "--disable-shm=yes",
                          "--log-target=stderr",
                          QString("--load=module-native-protocol-unix auth-anonymous=1 socket=%1")
                              .arg(QString::fromStdString(socket_)),
                          "--load=module-null-sink sink_name=ravlon_null rate=48000 "
                          "format=s16le channels=1 channel_map=mono"});
        if (!proc_.waitForStarted(5000)) return "pulseaudio did not start";
        for (int i = 0; i < 100; ++i) {
            if (QFileInfo::exists(QString::fromStdString(socket_)) &&
                pactl({"set-default-source", "ravlon_null.monitor"}) &&
                pactl({"set-default-sink", "ravlon_null"}))
                return {};
            if (proc_.state() != QProcess::Running) break;
            QThread::msleep(100);
        }
        return "pulseaudio did not come up: " + proc_.readAll().toStdString();
    }
    std::string server() const {
        return externalServer_.empty() ? "unix:" + socket_ : externalServer_;
    }
    void kill() {
        if (externalPid_ > 0) {
            ::kill(pid_t(externalPid_), SIGKILL);
            for (int i = 0; i < 100 && ::kill(pid_t(externalPid_), 0) == 0; ++i) QThread::msleep(20);
            externalPid_ = 0;
            return;
        }
        if (proc_.state() == QProcess::NotRunning) return;
        ::kill(pid_t(proc_.processId()), SIGKILL);
        proc_.waitForFinished(5000);
    }
    ~PulseServer() { kill(); }

private:
    bool pactl(const QStringList& args) {
        QProcess p;
        p.start("pactl", QStringList{"-s", QString::fromStdString(server())} + args);
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(1000);
            return false;
        }
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QTemporaryDir dir_;
    QProcess proc_;
    std::string socket_;
    std::string externalServer_;
    int externalPid_ = 0;
};

// Plays what the program plays: a stretch of pre-noise silence, the noise
// generator's sequence, post-noise silence. The silence gives the recording time to start
// (the program starts it from the first output buffer), so every noise
// sample must come back.
struct Loopback {
    static constexpr std::size_t kLeadIn = 24000; // 0.5 s of silence
    // Silence after the noise, as the program's post-noise silence: the last
    // device buffers of a stream that ends are not played to the end.
    static constexpr std::size_t kTail = 12000;
    std::shared_ptr<audio::WaveBackend> backend = std::make_shared<audio::RtAudioBackend>();
    TMPCPlay play{backend};
    TMPCRecord rec{backend};
    std::vector<std::int16_t> played, recorded;
    test::NoiseLcg lcg;
    std::size_t noise, toPlay;

    explicit Loopback(std::size_t noiseSamples)
        : noise(noiseSamples), toPlay(kLeadIn + noiseSamples + kTail) {
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
