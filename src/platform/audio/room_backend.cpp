#include "platform/audio/room_backend.h"

#include "core/base/errors.h"
#include "platform/audio/queued_stream.h"

#include <sndfile.h>

#include <chrono>
#include <cmath>

namespace ravlon::audio {

class RoomStream : public QueuedStream {
public:
    RoomStream(RoomBackend& room, Direction dir, const WaveFormat& format, MessageWindow& target)
        : QueuedStream(dir, format, target), room_(room),
          scratch_(RoomSimulator::kBlock * std::size_t(format.channels)) {}

    ~RoomStream() override {
        running_.store(false);
        room_.detach(this);
    }

    // Clock thread.
    bool running() const noexcept { return running_.load(); }
    std::int16_t* scratch() noexcept { return scratch_.data(); }

protected:
    std::string deviceStart() override {
        running_.store(true);
        return {};
    }
    std::string deviceStop() override {
        running_.store(false);
        room_.waitBlockBoundary();
        return {};
    }
    std::string deviceClose() override {
        room_.detach(this);
        return {};
    }

private:
    RoomBackend& room_;
    std::atomic<bool> running_{false};
    std::vector<std::int16_t> scratch_;
};

std::vector<double> LoadImpulseResponse(const std::string& path, int expectedRate) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f)
        throw Exception("Cannot read the impulse response " + path + ": " + sf_strerror(nullptr));
    std::vector<double> ir;
    std::string problem;
    if (info.channels != 1)
        problem = "the impulse response " + path + " must be mono";
    else if (info.samplerate != expectedRate)
        problem = "the impulse response " + path + " is sampled at " +
                  std::to_string(info.samplerate) + " Hz, the stream runs at " +
                  std::to_string(expectedRate) + " Hz";
    else if (info.frames <= 0 || info.frames > 60LL * expectedRate)
        problem = "the impulse response " + path + " must last 0 ... 60 s";
    if (problem.empty()) {
        ir.resize(std::size_t(info.frames));
        const sf_count_t got = sf_readf_double(f, ir.data(), info.frames);
        ir.resize(std::size_t(std::max<sf_count_t>(got, 0)));
    }
    sf_close(f);
    if (!problem.empty()) throw Exception("RAVLON_AUDIO: " + problem);
    return ir;
}

RoomBackend::RoomBackend(const std::string& settings) {
    try {
        config_ = RoomConfig::parse(settings);
    } catch (const std::exception& e) {
        configError_ = e.what();
    }
}

RoomBackend::~RoomBackend() {
    stopClock();
}

std::vector<std::string> RoomBackend::deviceNames(Direction dir) {
    return {dir == Direction::Output ? "Simulated room loudspeaker" : "Simulated room microphone"};
}

std::string RoomBackend::buildRoom(int rate) {
    try {
        std::vector<double> ir;
        if (config_.irFile.empty()) {
            ir = SynthesizeRoomImpulse(config_, rate);
        } else {
            ir = LoadImpulseResponse(config_.irFile, rate);
            const double g = std::pow(10.0, config_.gainDb / 20.0);
            for (double& v : ir) v *= g;
        }
        room_ = std::make_unique<RoomSimulator>(config_, rate, std::move(ir));
    } catch (const std::exception& e) {
        return e.what();
    }
    rate_ = rate;
    speaker_.assign(RoomSimulator::kBlock, 0.0);
    mic_.assign(RoomSimulator::kBlock, 0);
    return {};
}

std::unique_ptr<WaveStream> RoomBackend::open(Direction dir, const WaveFormat& format,
                                              MessageWindow& target, std::string& error) {
    error.clear();
    if (!configError_.empty()) {
        error = configError_;
        return nullptr;
    }
    std::atomic<RoomStream*>& slot = dir == Direction::Output ? out_ : in_;
    if (slot.load()) {
        error = "The simulated room's " +
                std::string(dir == Direction::Output ? "loudspeaker" : "microphone") +
                " is already open.";
        return nullptr;
    }
    if (format.rate < 1000 || format.rate > 384000) {
        error = "The simulated room runs at 1000 ... 384000 samples per second.";
        return nullptr;
    }
    if (format.channels > 64) {
        error = "The simulated room has at most 64 channels.";
        return nullptr;
    }
    const bool otherOpen = (dir == Direction::Output ? in_ : out_).load() != nullptr;
    if (otherOpen && format.rate != rate_) {
        error = "The simulated room already runs at " + std::to_string(rate_) + " Hz.";
        return nullptr;
    }
    if (!otherOpen) {
        stopClock();
        error = buildRoom(format.rate);
        if (!error.empty()) return nullptr;
    }
    auto stream = std::make_unique<RoomStream>(*this, dir, format, target);
    slot.store(stream.get());
    if (!clock_.joinable()) {
        quit_.store(false);
        clock_ = std::thread(&RoomBackend::clockLoop, this);
    }
    stream->announceOpen();
    return stream;
}

void RoomBackend::detach(RoomStream* s) {
    RoomStream* expected = s;
    if (!out_.compare_exchange_strong(expected, nullptr)) {
        expected = s;
        in_.compare_exchange_strong(expected, nullptr);
    }
    waitBlockBoundary();
    if (!out_.load() && !in_.load()) stopClock();
}

void RoomBackend::waitBlockBoundary() const {
    while (inTick_.load()) std::this_thread::sleep_for(std::chrono::microseconds(50));
}

void RoomBackend::stopClock() {
    if (!clock_.joinable()) return;
    quit_.store(true);
    clock_.join();
}

void RoomBackend::clockLoop() {
    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration_cast<clock::duration>(
        std::chrono::duration<double>(double(RoomSimulator::kBlock) / rate_));
    auto next = clock::now();
    while (!quit_.load()) {
        if (config_.fast) {
            inTick_.store(true);
            RoomStream* o = out_.load();
            RoomStream* i = in_.load();
            const bool oRun = o && o->running();
            const bool iRun = i && i->running();
            const bool ready = (oRun || iRun) && (!o || (oRun && o->hasQueued())) &&
                               (!i || (iRun && i->hasQueued()));
            if (ready) tick();
            inTick_.store(false);
            if (!ready) std::this_thread::sleep_for(std::chrono::microseconds(200));
        } else {
            std::this_thread::sleep_until(next);
            next += period;
            // Behind by more than a few blocks (the machine stalled): do not race.
            if (clock::now() - next > 8 * period) next = clock::now() + period;
            inTick_.store(true);
            tick();
            inTick_.store(false);
        }
    }
}

void RoomBackend::tick() {
    // Reads the slots again: a stream closed since the caller looked is gone.
    RoomStream* o = out_.load();
    RoomStream* i = in_.load();
    const bool oRun = o && o->running();
    const bool iRun = i && i->running();
    if (!oRun && !iRun) return;
    const std::size_t n = RoomSimulator::kBlock;
    if (oRun) {
        const std::size_t ch = std::size_t(o->format().channels);
        std::int16_t* buf = o->scratch();
        o->renderOutput(buf, n * ch);
        for (std::size_t k = 0; k < n; ++k) {
            double sum = 0;
            for (std::size_t c = 0; c < ch; ++c) sum += buf[k * ch + c];
            speaker_[k] = sum / double(ch);
        }
    } else {
        std::fill(speaker_.begin(), speaker_.end(), 0.0);
    }
    room_->process(speaker_.data(), mic_.data());
    if (iRun) {
        const std::size_t ch = std::size_t(i->format().channels);
        std::int16_t* buf = i->scratch();
        for (std::size_t k = 0; k < n; ++k)
            for (std::size_t c = 0; c < ch; ++c) buf[k * ch + c] = mic_[k];
        i->captureInput(buf, n * ch);
    }
}

} // namespace ravlon::audio
