#include "platform/audio/rtaudio_backend.h"

#include "platform/audio/queued_stream.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
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

// The API of a system name ("" = the default API); UNSPECIFIED with
// `known` false for a name this RtAudio was not built with.
RtAudio::Api ApiOf(const std::string& system, bool& known) {
    known = true;
    if (system.empty()) return DefaultApi();
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api api : apis)
        if (RtAudio::getApiName(api) == system) return api;
    known = false;
    return RtAudio::UNSPECIFIED;
}

// RtAudio's texts begin with the function that failed
// ("RtApiPulse::probeDeviceOpen: "); the user needs only the reason.
std::string Reason(const std::string& text) {
    if (text.rfind("RtApi", 0) == 0 || text.rfind("RtAudio", 0) == 0)
        if (const std::size_t colon = text.find(": "); colon != std::string::npos)
            return text.substr(colon + 2);
    return text;
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

    // Opens `device` ("" = the default device) of `system` at `channel` (1-based).
    std::string openDevice(const std::string& system, const std::string& device, int channel) {
        const bool output = direction() == Direction::Output;
        const char* side = output ? "output" : "input";
        name_ = device.empty() ? "default " + std::string(side) + " device" : device;
        std::string err;
        try {
            bool known = true;
            const RtAudio::Api api = ApiOf(system, known);
            if (!known) return "The audio system \"" + system + "\" is not available.";
            audio_ = std::make_unique<RtAudio>(api);
            audio_->showWarnings(false);
            const unsigned count = audio_->getDeviceCount();
            if (count == 0) return "No audio device was found.";
            RtAudio::StreamParameters params;
            RtAudio::DeviceInfo info;
            bool probed = false; // info describes the device
            if (device.empty()) {
                params.deviceId =
                    output ? audio_->getDefaultOutputDevice() : audio_->getDefaultInputDevice();
                info = audio_->getDeviceInfo(params.deviceId);
                probed = info.probed && !info.name.empty();
                if (probed) name_ = info.name;
            } else {
                for (unsigned i = 0; i < count && !probed; ++i) {
                    RtAudio::DeviceInfo d = audio_->getDeviceInfo(i);
                    if (d.probed && d.name == device &&
                        (output ? d.outputChannels : d.inputChannels) > 0) {
                        info = d;
                        params.deviceId = i;
                        probed = true;
                    }
                }
                if (!probed) return name_ + ": the device is not present.";
            }
            const unsigned wanted = unsigned(format().channels);
            const unsigned first = unsigned(std::max(channel, 1) - 1);
            const unsigned available = output ? info.outputChannels : info.inputChannels;
            if (probed && first + wanted > available)
                return name_ + ": the device has " + std::to_string(available) + " " + side +
                       " channel" + (available == 1 ? "" : "s") + "; channel " +
                       std::to_string(first + 1) + " does not exist.";
            deviceChannels_ = wanted;
            offset_ = 0;
            params.nChannels = wanted;
            params.firstChannel = first;
            // PulseAudio refuses a channel offset and mixes a device's channels
            // down into fewer: a chosen device or channel opens all channels.
            if (audio_->getCurrentApi() == RtAudio::LINUX_PULSE && (!device.empty() || first > 0) &&
                available > wanted) {
                deviceChannels_ = available;
                offset_ = first;
                params.nChannels = available;
                params.firstChannel = 0;
            }
            RtAudio::StreamOptions options;
            options.numberOfBuffers = kDevicePeriods;
            options.streamName = "Ravlon";
            unsigned frames = kPeriodFrames;
            RtStream* expected = nullptr;
            if (!g_slot[slot()].compare_exchange_strong(expected, this))
                return "The device is already in use by this program.";
            call(err, [&] {
                audio_->openStream(output ? &params : nullptr, output ? nullptr : &params,
                                   RTAUDIO_SINT16, unsigned(format().rate), &frames,
                                   &RtStream::callback, this, &options,
                                   output ? &errorOut : &errorIn);
            });
            if (err.empty() && !audio_->isStreamOpen()) err = "The device could not be opened.";
            if (err.empty() && deviceChannels_ != wanted)
                scratch_.assign(std::size_t(std::max(frames, kPeriodFrames)) * wanted, 0);
        } catch (const RtAudioError& e) {
            err = e.what();
        } catch (const std::exception& e) {
            err = e.what();
        }
        if (!err.empty()) {
            RtStream* self = this;
            g_slot[slot()].compare_exchange_strong(self, nullptr);
            err = name_ + ": " + Reason(err);
        }
        return err;
    }

    // The failure names the device, like the open errors.
    std::string errorText() const override {
        const std::string text = QueuedStream::errorText();
        return text.empty() ? text : name_ + ": " + Reason(text);
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
        const std::size_t values = std::size_t(frames) * std::size_t(s->deviceChannels_);
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
            if (s->scratch_.empty()) {
                if (out) s->renderOutput(static_cast<std::int16_t*>(out), values);
                if (in) s->captureInput(static_cast<const std::int16_t*>(in), values);
            } else {
                if (out) s->renderPlaced(static_cast<std::int16_t*>(out), frames);
                if (in) s->capturePlaced(static_cast<const std::int16_t*>(in), frames);
            }
        }
        s->inCallback_.fetch_sub(1);
        return result;
    }

    // Audio thread: the stream's channels at offset_ within the device's
    // frames, through scratch_ (the other channels play silence).
    void renderPlaced(std::int16_t* out, unsigned frames) noexcept {
        const std::size_t own = std::size_t(format().channels), dev = deviceChannels_;
        std::memset(out, 0, std::size_t(frames) * dev * sizeof(std::int16_t));
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(std::size_t(frames) - done, scratch_.size() / own);
            renderOutput(scratch_.data(), n * own);
            for (std::size_t f = 0; f < n; ++f)
                for (std::size_t c = 0; c < own; ++c)
                    out[(done + f) * dev + offset_ + c] = scratch_[f * own + c];
            done += n;
        }
    }
    void capturePlaced(const std::int16_t* in, unsigned frames) noexcept {
        const std::size_t own = std::size_t(format().channels), dev = deviceChannels_;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min(std::size_t(frames) - done, scratch_.size() / own);
            for (std::size_t f = 0; f < n; ++f)
                for (std::size_t c = 0; c < own; ++c)
                    scratch_[f * own + c] = in[(done + f) * dev + offset_ + c];
            captureInput(scratch_.data(), n * own);
            done += n;
        }
    }

    std::unique_ptr<RtAudio> audio_;
    std::string name_; // the device, for messages
    // Channels opened on the device and the place of the stream's first
    // channel among them; scratch_ (set at open, empty when the two agree)
    // carries one period of the stream's own channels.
    unsigned deviceChannels_ = 1;
    std::size_t offset_ = 0;
    std::vector<std::int16_t> scratch_;
    std::atomic<bool> stopping_{true};
    std::atomic<int> inCallback_{0};
};

// Calls use(info) for every device of the API that could be probed; RtAudio
// errors reach the caller.
template <class Use> void ForEachProbedDevice(RtAudio::Api api, Use use) {
    RtAudio audio(api);
    audio.showWarnings(false);
    const unsigned count = audio.getDeviceCount();
    for (unsigned i = 0; i < count; ++i) {
        const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
        if (info.probed) use(info);
    }
}

} // namespace

std::vector<std::string> RtAudioBackend::deviceNames(Direction dir) {
    std::vector<std::string> names;
    try {
        bool known = true;
        const RtAudio::Api api = ApiOf(choice_.system, known);
        if (!known) return names;
        ForEachProbedDevice(api, [&](const RtAudio::DeviceInfo& info) {
            const unsigned ch = dir == Direction::Output ? info.outputChannels : info.inputChannels;
            if (ch > 0) names.push_back(info.name.substr(0, 31));
        });
    } catch (const RtAudioError&) {
        // No API or no device: an empty list.
    }
    return names;
}

std::unique_ptr<WaveStream> RtAudioBackend::open(Direction dir, const WaveFormat& format,
                                                 MessageWindow& target, std::string& error) {
    auto stream = std::make_unique<RtStream>(dir, format, target);
    const bool output = dir == Direction::Output;
    error = stream->openDevice(choice_.system, output ? choice_.outputDevice : choice_.inputDevice,
                               output ? choice_.outputChannel : choice_.inputChannel);
    if (!error.empty()) return nullptr;
    stream->announceOpen();
    return stream;
}

std::vector<AudioSystemInfo> EnumerateAudioSystems() {
    std::vector<AudioSystemInfo> systems;
    RtAudio::Api defaultApi = RtAudio::UNSPECIFIED;
    try {
        defaultApi = RtAudio(DefaultApi()).getCurrentApi();
    } catch (const RtAudioError&) {
        // No API at all: none is the default.
    }
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api api : apis) {
        AudioSystemInfo sys;
        sys.id = RtAudio::getApiName(api);
        sys.displayName = RtAudio::getApiDisplayName(api);
        try {
            ForEachProbedDevice(api, [&sys](const RtAudio::DeviceInfo& info) {
                AudioDeviceInfo d;
                d.name = info.name;
                d.outputChannels = int(info.outputChannels);
                d.inputChannels = int(info.inputChannels);
                d.defaultOutput = info.isDefaultOutput;
                d.defaultInput = info.isDefaultInput;
                for (unsigned r : info.sampleRates) d.rates.push_back(int(r));
                std::sort(d.rates.begin(), d.rates.end());
                sys.devices.push_back(std::move(d));
            });
        } catch (const RtAudioError&) {
            sys.devices.clear(); // the API cannot be used here
        }
        sys.usable =
            !sys.devices.empty() && (api != RtAudio::LINUX_PULSE || PulseServerAvailable());
        sys.isDefault = sys.usable && api == defaultApi;
        systems.push_back(std::move(sys));
    }
    return systems;
}

} // namespace ravlon::audio
