// A private PulseAudio daemon for the tests that need a real sound server:
// its own runtime directory and socket, null sinks (mono, 48 kHz) whose
// monitors loop the played samples back unchanged. The first sink and its
// monitor are the defaults. Always killed by its PID on destruction.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

namespace ravlon::test {

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
// daemon with the one default sink started outside the test process
// (RAVLON_TEST_PULSE_SERVER and RAVLON_TEST_PULSE_PID, set by the
// ThreadSanitizer run, where forking a process from the test makes the
// sanitizer report false races) is used instead when given.
class PulseServer {
public:
    // Empty result: running. Otherwise the reason it could not start ("no
    // pulseaudio binary" when there is none). Each sink's description is its
    // name, so the sound card lists it by that name.
    std::string start(const QStringList& sinks = {"ravlon_null"}) {
        const char* external = std::getenv("RAVLON_TEST_PULSE_SERVER");
        if (external && *external) {
            if (sinks != QStringList{"ravlon_null"}) return "the given daemon has other sinks";
            externalServer_ = external;
            if (const char* pid = std::getenv("RAVLON_TEST_PULSE_PID"))
                externalPid_ = std::atoi(pid);
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
        QStringList args{"--daemonize=no",
                         "--system=no",
                         "--exit-idle-time=-1",
                         "-n",
                         "--use-pid-file=no",
                         "--disallow-exit",
                         "--disable-shm=yes",
                         "--log-target=stderr",
                         QString("--load=module-native-protocol-unix auth-anonymous=1 socket=%1")
                             .arg(QString::fromStdString(socket_))};
        for (const QString& sink : sinks)
            args << QString("--load=module-null-sink sink_name=%1 rate=48000 format=s16le "
                            "channels=1 channel_map=mono sink_properties=device.description=%1")
                        .arg(sink);
        proc_.start(exe, args);
        if (!proc_.waitForStarted(5000)) return "pulseaudio did not start";
        for (int i = 0; i < 100; ++i) {
            if (QFileInfo::exists(QString::fromStdString(socket_)) &&
                pactl({"set-default-source", sinks.front() + ".monitor"}) &&
                pactl({"set-default-sink", sinks.front()}))
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
            for (int i = 0; i < 100 && ::kill(pid_t(externalPid_), 0) == 0; ++i)
                QThread::msleep(20);
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

} // namespace ravlon::test
