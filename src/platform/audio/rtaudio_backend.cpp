#include "platform/audio/rtaudio_backend.h"

#include "platform/audio/queued_stream.h"

#include <rtaudio/RtAudio.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ravlon::audio {

namespace {

// Frames per device period: about 10 ms at 48 kHz.
constexpr unsigned kPeriodFrames = 512;
// Device-side periods; bounds how far the device reads ahead of the clock.
constexpr unsigned kDevicePeriods = 4;

class RtStream;

// True when a PulseAudio (or PipeWire-Pulse) server can be reached: RtAudio's
// PulseAudio back end reports a device even without a server, so look for one.
bool PulseServerAvailable() {
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server) return true;
    std::error_code ec;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        if (std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native", ec))
            return true;
    return std::filesystem::exists("/run/user/" + std::to_string(::getuid()) + "/pulse/native", ec);
}

// The default API: PulseAudio where a server runs (it loops samples back
// unchanged and shares the card), else whatever RtAudio finds first (ALSA, JACK).
RtAudio::Api DefaultApi() {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api api : apis)
        if (api == RtAudio::LINUX_PULSE && PulseServerAvailable()) return api;
    return RtAudio::UNSPECIFIED;
}

// RtAudio's error callback carries no user data: one slot per direction
// names the stream it belongs to (the program opens one stream of each).
std::atomic<RtStream*> g_slot[2];
// Set while the UI thread is inside an RtAudio call: its errors are that
// call's result, not a failure of the running stream.
thread_local std::string* t_uiError = nullptr;

class RtStream : public QueuedStream {
public:
    RtStream(Direction dir, const WaveFormat& format, MessageWindow& target)
        : QueuedStream(dir, format, target) {}

    ~RtStream() override {
        RtStream* self = this;
        g_slot[slot()].compare_exchange_strong(self, nullptr);
        if (audio_ && audio_->isStreamOpen()) {
            std::string ignored;
            call(ignored, [this] { audio_->closeStream(); });
        }
    }

    std::string openDevice() {
        std::string err;
        try {
            audio_ = std::make_unique<RtAudio>(DefaultApi());
            audio_->showWarnings(false);
            if (audio_->getDeviceCount() == 0) return "No audio device was found.";
            RtAudio::StreamParameters params;
            params.deviceId = direction() == Direction::Output ? audio_->getDefaultOutputDevice()
                                                               : audio_->getDefaultInputDevice();
            params.nChannels = unsigned(format().channels);
            params.firstChannel = 0;
            RtAudio::StreamOptions options;
            options.numberOfBuffers = kDevicePeriods;
            options.streamName = "Ravlon";
            unsigned frames = kPeriodFrames;
            RtStream* expected = nullptr;
            if (!g_slot[slot()].compare_exchange_strong(expected, this))
                return "The device is already in use by this program.";
            call(err, [&] {
                audio_->openStream(direction() == Direction::Output ? &params : nullptr,
                                   direction() == Direction::Input ? &params : nullptr,
                                   RTAUDIO_SINT16, unsigned(format().rate), &frames,
                                   &RtStream::callback, this, &options,
                                   direction() == Direction::Output ? &errorOut : &errorIn);
            });
            if (err.empty() && !audio_->isStreamOpen()) err = "The device could not be opened.";
        } catch (const RtAudioError& e) {
            err = e.what();
        } catch (const std::exception& e) {
            err = e.what();
        }
        if (!err.empty()) {
            RtStream* self = this;
            g_slot[slot()].compare_exchange_strong(self, nullptr);
        }
        return err;
    }

protected:
    std::string deviceStart() override {
        std::string err;
        stopping_.store(false);
        call(err, [this] {
            if (!audio_->isStreamRunning()) audio_->startStream();
        });
        return err;
    }
    // RtAudio's abortStream does not wait for a callback in progress: the
    // callback is first told to leave the buffers alone, and the stop waits
    // until it has left, so the queue is never touched from both threads.
    std::string deviceStop() override {
        stopping_.store(true);
        while (inCallback_.load() > 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
        std::string err;
        call(err, [this] {
            if (!audio_->isStreamOpen() || !audio_->isStreamRunning()) return;
            // An output that has played all it was given ends by playing out
            // what the device still holds; anything else stops at once.
            if (direction() == Direction::Output && !hasQueued())
                audio_->stopStream();
            else
                audio_->abortStream();
        });
        return err;
    }
    std::string deviceClose() override {
        std::string err;
        call(err, [this] {
            if (audio_->isStreamOpen()) audio_->closeStream();
        });
        RtStream* self = this;
        g_slot[slot()].compare_exchange_strong(self, nullptr);
        return err;
    }

private:
    int slot() const { return direction() == Direction::Output ? 0 : 1; }

    template <typename F> void call(std::string& err, F&& f) {
        t_uiError = &err;
        try {
            f();
        } catch (const RtAudioError& e) {
            if (err.empty()) err = e.what();
        }
        t_uiError = nullptr;
    }

    static void routeError(int slot, RtAudioError::Type type, const std::string& text) {
        if (t_uiError) {
            if (type != RtAudioError::WARNING && t_uiError->empty()) *t_uiError = text;
            return;
        }
        RtStream* s = g_slot[slot].load(std::memory_order_acquire);
        if (!s) return;
        // ALSA reports under- and overruns as warnings and recovers by itself.
        if (std::strstr(text.c_str(), "underrun") || std::strstr(text.c_str(), "overrun")) {
            s->noteDriverDropout();
            return;
        }
        s->deviceFailed(text.c_str());
    }
    static void errorOut(RtAudioError::Type type, const std::string& text) {
        routeError(0, type, text);
    }
    static void errorIn(RtAudioError::Type type, const std::string& text) {
        routeError(1, type, text);
    }

    static int callback(void* out, void* in, unsigned frames, double, RtAudioStreamStatus status,
                        void* user) {
        auto* s = static_cast<RtStream*>(user);
        const std::size_t values = std::size_t(frames) * std::size_t(s->format().channels);
        // Entered before the stop flag is read: a stop that set the flag
        // either sees this callback inside or the callback sees the flag.
        s->inCallback_.fetch_add(1);
        int result = 0;
        if (s->failed() || s->stopping_.load()) {
            if (out) std::memset(out, 0, values * sizeof(std::int16_t));
            result = s->failed() ? 2 : 0;
        } else {
            if (status & (RTAUDIO_INPUT_OVERFLOW | RTAUDIO_OUTPUT_UNDERFLOW))
                s->noteDriverDropout();
            if (out) s->renderOutput(static_cast<std::int16_t*>(out), values);
            if (in) s->captureInput(static_cast<const std::int16_t*>(in), values);
        }
        s->inCallback_.fetch_sub(1);
        return result;
    }

    std::unique_ptr<RtAudio> audio_;
    std::atomic<bool> stopping_{true};
    std::atomic<int> inCallback_{0};
};

} // namespace

std::vector<std::string> RtAudioBackend::deviceNames(Direction dir) {
    std::vector<std::string> names;
    try {
        RtAudio audio(DefaultApi());
        audio.showWarnings(false);
        const unsigned count = audio.getDeviceCount();
        for (unsigned i = 0; i < count; ++i) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
            if (!info.probed) continue;
            const unsigned ch = dir == Direction::Output ? info.outputChannels : info.inputChannels;
            if (ch > 0) names.push_back(info.name.substr(0, 31));
        }
    } catch (const RtAudioError&) {
        // No API or no device: an empty list.
    }
    return names;
}

std::unique_ptr<WaveStream> RtAudioBackend::open(Direction dir, const WaveFormat& format,
                                                 MessageWindow& target, std::string& error) {
    auto stream = std::make_unique<RtStream>(dir, format, target);
    error = stream->openDevice();
    if (!error.empty()) return nullptr;
    stream->announceOpen();
    return stream;
}

} // namespace ravlon::audio
