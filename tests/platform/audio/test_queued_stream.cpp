// The buffer hand-over between the UI thread and the audio side, driven by
// the test in place of a device: buffer boundaries, gaps, a reset in the
// middle of an input buffer, the order of the messages, and a run without a
// wake-up descriptor.
#include "platform/audio/queued_stream.h"
#include "platform/audio/spsc_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <numeric>
#include <vector>

using namespace ravlon::audio;

namespace {

// A device whose audio side is the test itself.
class TestStream : public QueuedStream {
public:
    using QueuedStream::QueuedStream;
    int starts = 0, stops = 0;

protected:
    std::string deviceStart() override {
        ++starts;
        return {};
    }
    std::string deviceStop() override {
        ++stops;
        return {};
    }
    std::string deviceClose() override { return {}; }
};

struct Seen {
    unsigned msg;
    WaveHeader* header;
    int recorded;
};

struct Harness {
    std::vector<Seen> seen;
    MessageWindow window{[this](TMessage& m) {
        auto* h = reinterpret_cast<WaveHeader*>(m.LParam);
        seen.push_back({m.Msg, h, h ? h->recorded : -1});
    }};
    std::vector<std::vector<std::int16_t>> memory;
    std::vector<WaveHeader> headers;

    // n buffers of `length` values; output buffers hold 100*i + k.
    Harness(int n, int length) : memory(std::size_t(n)), headers(std::size_t(n)) {
        for (int i = 0; i < n; ++i) {
            memory[std::size_t(i)].resize(std::size_t(length));
            std::iota(memory[std::size_t(i)].begin(), memory[std::size_t(i)].end(),
                      std::int16_t(100 * i));
            headers[std::size_t(i)].data = memory[std::size_t(i)].data();
            headers[std::size_t(i)].length = length;
        }
    }
    void queue(QueuedStream& s, int i) {
        ASSERT_EQ(s.prepare(headers[std::size_t(i)]), "");
        ASSERT_EQ(s.write(headers[std::size_t(i)]), "");
    }
    std::vector<unsigned> messages() const {
        std::vector<unsigned> ids;
        for (const Seen& m : seen) ids.push_back(m.msg);
        return ids;
    }
};

} // namespace

TEST(QueuedStream, OutputCrossesBufferBoundariesAndCountsOnlyRealGaps) {
    Harness h(3, 4);
    TestStream s(Direction::Output, {48000, 1}, h.window);
    s.announceOpen();
    std::int16_t out[5];
    // Nothing has played yet: silence before the first buffer is no gap.
    s.renderOutput(out, 5);
    ASSERT_EQ(s.pause(), "");
    for (int i = 0; i < 3; ++i) h.queue(s, i);
    ASSERT_EQ(s.restart(), "");
    EXPECT_EQ(s.starts, 1);

    // 12 values in pieces of 5: 0..3 | 100..103 | 200..203 then 3 of silence.
    std::vector<std::int16_t> played;
    for (int piece = 0; piece < 3; ++piece) {
        s.renderOutput(out, 5);
        played.insert(played.end(), out, out + 5);
    }
    EXPECT_EQ(played, (std::vector<std::int16_t>{0, 1, 2, 3, 100, 101, 102, 103, 200, 201, 202, 203,
                                                 0, 0, 0}));
    s.renderOutput(out, 5); // 8 values missing in all
    EXPECT_EQ(s.dropouts().events, 0u) << "a gap counts when the next buffer comes";
    h.window.pump(); // the owner gets its buffers back and queues one again
    h.queue(s, 0);
    s.renderOutput(out, 2);
    EXPECT_EQ(s.dropouts().events, 1u);
    EXPECT_EQ(s.dropouts().values, 8u);
    h.window.pump();
    EXPECT_EQ(h.messages(), (std::vector<unsigned>{MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_DONE,
                                                   MM_WOM_DONE, MM_WOM_DROPOUT}));
    EXPECT_EQ(h.seen[1].header, &h.headers[0]);
    EXPECT_EQ(h.seen[3].header, &h.headers[2]);
}

TEST(QueuedStream, ResetInsideAnInputBufferReturnsWhatItHoldsFirst) {
    Harness h(3, 6);
    TestStream s(Direction::Input, {48000, 1}, h.window);
    s.announceOpen();
    for (int i = 0; i < 3; ++i) h.queue(s, i);
    ASSERT_EQ(s.start(), "");
    const std::int16_t in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    s.captureInput(in, 8); // buffer 0 full, 2 values in buffer 1
    ASSERT_EQ(s.reset(), "");
    h.window.pump();
    ASSERT_EQ(h.seen.size(), 4u);
    // In device order: the full buffer, the partial one, the untouched one.
    EXPECT_EQ(h.seen[1].header, &h.headers[0]);
    EXPECT_EQ(h.seen[1].recorded, 6);
    EXPECT_EQ(h.seen[2].header, &h.headers[1]);
    EXPECT_EQ(h.seen[2].recorded, 2);
    EXPECT_EQ(h.seen[3].header, &h.headers[2]);
    EXPECT_EQ(h.seen[3].recorded, 0);
    EXPECT_EQ(h.memory[1][0], 7);
    EXPECT_EQ(h.memory[1][1], 8);
    for (const WaveHeader& w : h.headers) EXPECT_FALSE(w.queued);
    // After the reset nothing is left over: a new buffer starts at its beginning.
    h.queue(s, 0);
    ASSERT_EQ(s.start(), "");
    s.captureInput(in, 6);
    h.window.pump();
    EXPECT_EQ(h.seen.back().recorded, 6);
    EXPECT_EQ(h.memory[0][0], 1);
}

TEST(QueuedStream, FailureDeliversTheRecordedPartBeforeTheError) {
    Harness h(2, 6);
    TestStream s(Direction::Input, {48000, 1}, h.window);
    s.announceOpen();
    for (int i = 0; i < 2; ++i) h.queue(s, i);
    ASSERT_EQ(s.start(), "");
    const std::int16_t in[9] = {};
    s.captureInput(in, 9);
    s.deviceFailed("unplugged");
    s.deviceFailed("second failure is not reported");
    s.drain();
    h.window.pump();
    EXPECT_EQ(h.messages(),
              (std::vector<unsigned>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_DATA, MM_WIM_ERROR}));
    EXPECT_EQ(h.seen[2].recorded, 3);
    EXPECT_EQ(s.errorText(), "unplugged");
    EXPECT_EQ(s.stops, 1);
    EXPECT_NE(s.write(h.headers[0]), "");
}

TEST(QueuedStream, QueueIndicesWrapAroundTheirCapacity) {
    SpscQueue<int> q(4);
    int v = 0;
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.push(round * 4 + i));
        EXPECT_FALSE(q.push(-1)) << "full";
        for (int i = 0; i < 4; ++i) {
            ASSERT_TRUE(q.pop(v));
            EXPECT_EQ(v, round * 4 + i);
        }
        EXPECT_TRUE(q.empty());
    }
    // Through the stream: far more buffers than the queue holds, in order.
    Harness h(2, 2);
    TestStream s(Direction::Output, {48000, 1}, h.window);
    s.announceOpen();
    std::int16_t out[2];
    for (int i = 0; i < 3000; ++i) {
        h.queue(s, i % 2);
        s.renderOutput(out, 2);
        if (i % 100 == 0) s.drain();
        h.window.pump();
    }
    std::size_t done = 0;
    for (std::size_t k = 0; k < h.seen.size(); ++k)
        if (h.seen[k].msg == MM_WOM_DONE) {
            EXPECT_EQ(h.seen[k].header, &h.headers[done++ % 2]);
        }
    EXPECT_EQ(done, 3000u);
    EXPECT_EQ(s.dropouts().events, 0u);
}

TEST(QueuedStream, WithoutAWakeUpDescriptorTheEventLoopStillDeliversBuffers) {
    QueuedStream::SetWakeupDescriptorAllowed(false);
    Harness h(1, 4);
    TestStream s(Direction::Input, {48000, 1}, h.window);
    QueuedStream::SetWakeupDescriptorAllowed(true);
    EXPECT_TRUE(s.polling());
    s.announceOpen();
    h.queue(s, 0);
    ASSERT_EQ(s.start(), "");
    const std::int16_t in[4] = {9, 9, 9, 9};
    s.captureInput(in, 4);
    QElapsedTimer t;
    t.start();
    while (h.seen.size() < 2 && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(h.seen.size(), 2u) << "the finished buffer never reached the window";
    EXPECT_EQ(h.seen[1].msg, unsigned(MM_WIM_DATA));
    EXPECT_EQ(h.seen[1].recorded, 4);
}
