// Cost of the audio side per device buffer: the queue hand-over of the wave
// streams (what the RtAudio callback does) and one block of the simulated room
// (convolution with a 2.4 s response plus noise) against the real-time budget.
#include "core/room/room_model.h"
#include "platform/audio/message_window.h"
#include "platform/audio/queued_stream.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <vector>

namespace {

class BenchStream : public ravlon::audio::QueuedStream {
public:
    using QueuedStream::QueuedStream;

protected:
    std::string deviceStart() override { return {}; }
    std::string deviceStop() override { return {}; }
    std::string deviceClose() override { return {}; }
};

void BM_CallbackOutput(benchmark::State& state) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    ravlon::audio::MessageWindow window([](ravlon::audio::TMessage&) {});
    BenchStream s(ravlon::audio::Direction::Output, {48000, 1}, window);
    const std::size_t period = std::size_t(state.range(0));
    std::vector<std::int16_t> ring(16 * 4096), device(period);
    std::vector<ravlon::audio::WaveHeader> headers(16);
    for (std::size_t i = 0; i < 16; ++i) {
        headers[i].data = ring.data() + i * 4096;
        headers[i].length = 4096;
        s.prepare(headers[i]);
        s.write(headers[i]);
    }
    s.restart();
    std::size_t played = 0;
    for (auto _ : state) {
        s.renderOutput(device.data(), period);
        benchmark::DoNotOptimize(device.data());
        played += period;
        if (played >= 4096) { // what the UI thread does between callbacks
            played -= 4096;
            window.pump();
            for (auto& h : headers)
                if (!h.queued) s.write(h);
        }
    }
    s.close();
    state.counters["ns_per_period"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CallbackOutput)->Arg(512)->Arg(4096);

void BM_RoomBlock(benchmark::State& state) {
    ravlon::RoomConfig c = ravlon::RoomConfig::parse("t60=1.6,noise=-70");
    ravlon::RoomSimulator room(c, 48000, ravlon::SynthesizeRoomImpulse(c, 48000));
    std::vector<double> speaker(ravlon::RoomSimulator::kBlock, 1000.0);
    std::vector<std::int16_t> mic(ravlon::RoomSimulator::kBlock);
    for (auto _ : state) {
        room.process(speaker.data(), mic.data());
        benchmark::DoNotOptimize(mic.data());
    }
    // Above 1: faster than real time at 48 kHz.
    state.counters["realtime_factor"] = benchmark::Counter(double(ravlon::RoomSimulator::kBlock) /
                                                               48000.0 * double(state.iterations()),
                                                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RoomBlock);

} // namespace

BENCHMARK_MAIN();
