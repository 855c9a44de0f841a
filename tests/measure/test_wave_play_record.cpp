// TMPCPlay / TMPCRecord against a scripted device: properties and clamps,
// the buffer exchange, ending by the owner, Stop, errors and their prefixes.
#include "fake_wave_device.h"
#include "measure/wave_play_record.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ravlon;
using ravlon::test::FakeBackend;

namespace {

template <typename F> std::string messageOf(F&& f) {
    try {
        f();
    } catch (const EMPCError& e) {
        return e.what();
    }
    return "(no EMPCError)";
}

struct PlayFixture : ::testing::Test {
    std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
    TMPCPlay play{backend};
    std::vector<int> stashOrder;
    int counter = 0;
    void SetUp() override {
        play.setnChunkSamples(8);
        play.OnStash = [this](TWaveChunk& arr, int& used, bool&) {
            ++counter;
            stashOrder.push_back(counter);
            for (int k = 0; k < used; ++k) arr[std::size_t(k)] = std::int16_t(counter * 100 + k);
        };
    }
};

} // namespace

TEST(MPCProperties, DefaultsClampsAndFormat) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCPlay play(backend);
    EXPECT_EQ(play.nChans(), 1);
    EXPECT_EQ(play.sfTot(), 16000);
    EXPECT_EQ(play.nBuffers(), 4);
    EXPECT_EQ(play.nChunkSamples(), 4096);
    EXPECT_EQ(play.Devices(), (std::vector<std::string>{"Fake out A", "Fake out B"}));
    EXPECT_FALSE(play.Active());

    play.setnBuffers(5000);
    EXPECT_EQ(play.nBuffers(), 1000);
    play.setnChans(0);
    EXPECT_EQ(play.nChans(), 1);
    play.setnChans(-5);
    EXPECT_EQ(play.nChans(), 1);
    play.setsfTot(0);
    EXPECT_EQ(play.sfTot(), 1);
    play.setsfTot(-48000);
    EXPECT_EQ(play.sfTot(), 1);

    TMPCRecord rec(backend);
    EXPECT_EQ(rec.Devices(), (std::vector<std::string>{"Fake in"}));
    rec.setnBuffers(5000);
    EXPECT_EQ(rec.nBuffers(), 1000);
    rec.setnChans(-1);
    rec.setsfTot(-1);
    EXPECT_EQ(rec.nChans(), 1);
    EXPECT_EQ(rec.sfTot(), 1);
}

TEST(MPCProperties, StereoAt96000IsTwoChannelsOf48000) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCRecord rec(backend);
    rec.setnChans(2);
    rec.setsfTot(96000);
    const TWaveFormat& f = rec.Format();
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 48000);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 192000);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_TRUE(rec.Open());
    EXPECT_EQ(backend->log.lastFormat.rate, 48000);
    EXPECT_EQ(backend->log.lastFormat.channels, 2);
    EXPECT_FALSE(rec.Open()); // already open: false, nothing else
    EXPECT_EQ(backend->log.opens, 1);

    EXPECT_EQ(messageOf([&] { rec.setsfTot(44100); }), "Cannot change sfTot while owning board");
    EXPECT_EQ(rec.sfTot(), 96000);
    EXPECT_EQ(messageOf([&] { rec.setnChans(1); }), "Cannot change nChans while owning board");
    EXPECT_EQ(rec.nChans(), 2);
    EXPECT_EQ(rec.Format().nSamplesPerSec, 48000);
    rec.Stop();
    EXPECT_FALSE(rec.Active());
    rec.setsfTot(44100);
    EXPECT_EQ(rec.Format().nSamplesPerSec, 22050);
}

TEST(MPCProperties, StartWithoutHandlerFailsBeforeOpening) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCPlay play(backend);
    TMPCRecord rec(backend);
    EXPECT_EQ(messageOf([&] { play.Start(); }), "Nothing assigned to OnStash!");
    EXPECT_EQ(messageOf([&] { rec.Start(); }), "Nothing assigned to OnFetch!");
    EXPECT_EQ(backend->log.opens, 0);
    EXPECT_FALSE(play.Active());
    EXPECT_FALSE(rec.Active());
}

TEST_F(PlayFixture, StartQueuesTheWholeRingWhilePausedThenRequeuesInDeviceOrder) {
    play.Start();
    ASSERT_TRUE(play.Active());
    auto* dev = backend->stream;
    const std::vector<std::string> expected{"open",    "pause", "prepare", "write",
                                            "prepare", "write", "prepare", "write",
                                            "prepare", "write", "restart"};
    EXPECT_EQ(backend->log.calls, expected);
    ASSERT_EQ(dev->written.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dev->written[std::size_t(i)].user, i);
        EXPECT_EQ(dev->written[std::size_t(i)].data.size(), 8u);
        EXPECT_EQ(dev->written[std::size_t(i)].data[1], std::int16_t((i + 1) * 100 + 1));
    }
    dev->complete(0);
    dev->complete(0);
    play.ProcessMessages();
    ASSERT_EQ(dev->written.size(), 6u);
    EXPECT_EQ(dev->written[4].user, 0); // buffer 0 came back first and went out first
    EXPECT_EQ(dev->written[5].user, 1);
    EXPECT_EQ(dev->written[4].data[0], 500);
    play.Stop();
    EXPECT_FALSE(play.Active());
}

TEST_F(PlayFixture, UsedZeroEndsAfterOneSilentFrameAndClosesItself) {
    play.setnChans(2);
    play.setsfTot(96000);
    play.OnStash = [this](TWaveChunk& arr, int& used, bool&) {
        ++counter;
        std::fill(arr.begin(), arr.end(), std::int16_t(7));
        if (counter == 3) used = 0;
    };
    int closed = 0;
    play.OnClosed = [&] { ++closed; };
    play.Start();
    auto* dev = backend->stream;
    ASSERT_EQ(dev->written.size(), 3u); // the fourth buffer is never exchanged
    EXPECT_TRUE(play.EndRequested());
    EXPECT_EQ(dev->written[2].user, LastMarker);
    EXPECT_EQ(dev->written[2].data, (std::vector<std::int16_t>{0, 0})); // one stereo frame
    dev->complete(0);
    dev->complete(0);
    play.ProcessMessages();
    EXPECT_EQ(counter, 3); // earlier buffers are not handed out again
    EXPECT_EQ(dev->written.size(), 3u);
    EXPECT_TRUE(play.Active());
    dev->complete(0); // the marked buffer
    play.ProcessMessages();
    EXPECT_FALSE(play.Active());
    EXPECT_EQ(closed, 1);
    const auto& calls = backend->log.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "close"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "reset"), 1);
}

TEST_F(PlayFixture, LastMakesTheBufferFinalWithItsData) {
    play.OnStash = [this](TWaveChunk& arr, int& used, bool& last) {
        ++counter;
        std::fill_n(arr.begin(), used, std::int16_t(counter));
        used = 5;
        last = counter == 2;
    };
    play.Start();
    auto* dev = backend->stream;
    ASSERT_EQ(dev->written.size(), 2u);
    EXPECT_EQ(dev->written[1].user, LastMarker);
    EXPECT_EQ(dev->written[1].data, std::vector<std::int16_t>(5, 2));
    dev->complete(0);
    dev->complete(0);
    play.ProcessMessages();
    EXPECT_FALSE(play.Active());
}

TEST_F(PlayFixture, UsedIsNeverTrustedBeyondTheBuffer) {
    play.OnStash = [](TWaveChunk&, int& used, bool&) { used = 1 << 20; };
    play.Start();
    EXPECT_EQ(backend->stream->written[0].data.size(), 8u);
    play.Stop();
}

TEST_F(PlayFixture, StopWhenIdleDoesNothingAndLateDoneMessagesAreIgnored) {
    play.Stop();
    EXPECT_TRUE(backend->log.calls.empty());
    int opened = 0, closed = 0, messages = 0;
    play.OnOpened = [&] { ++opened; };
    play.OnClosed = [&] { ++closed; };
    play.OnMsg = [&](TMessage&) { ++messages; };
    play.Start();
    play.Stop(); // the reset posts four done messages, then the close message
    EXPECT_FALSE(play.Active());
    const int before = counter;
    play.ProcessMessages();
    EXPECT_EQ(counter, before); // no owner call for the returned buffers
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(messages, 6); // open, four done, close: OnMsg sees every one
    play.Stop();
    EXPECT_EQ(std::count(backend->log.calls.begin(), backend->log.calls.end(), "close"), 1);
}

TEST(MPCRecordRun, InitialQueueingNeverCallsTheOwnerAndDataArrivesInOrder) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCRecord rec(backend);
    rec.setnChunkSamples(16);
    rec.setnBuffers(3);
    std::vector<std::vector<std::int16_t>> got;
    rec.OnFetch = [&](TWaveChunk& arr, int used, bool&) {
        EXPECT_TRUE(rec.Delivering());
        got.emplace_back(arr.begin(), arr.begin() + used);
    };
    bool deliveringDuringQueue = true;
    rec.OnOpened = [&] { deliveringDuringQueue = rec.Delivering(); };
    rec.Start();
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(rec.Delivering());
    auto* dev = backend->stream;
    EXPECT_EQ(backend->log.calls.back(), "start");
    ASSERT_EQ(dev->written.size(), 3u);
    for (const auto& w : dev->written) EXPECT_EQ(w.data.size(), 16u); // whole buffers
    dev->complete(16, 1000);
    dev->complete(10, 2000); // a partly filled buffer: used = values recorded
    rec.ProcessMessages();
    EXPECT_TRUE(deliveringDuringQueue); // the open message is dispatched after Start
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size(), 16u);
    EXPECT_EQ(got[0][15], 1015);
    EXPECT_EQ(got[1].size(), 10u);
    EXPECT_EQ(got[1][0], 2000);
    EXPECT_EQ(dev->written.size(), 5u);
    EXPECT_EQ(dev->written[3].user, 0);
    rec.Stop();
}

TEST(MPCRecordRun, LastQueuesTheSameBufferMarkedAndStopsWithoutDeliveringIt) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCRecord rec(backend);
    rec.setnChunkSamples(4);
    int fetches = 0;
    rec.OnFetch = [&](TWaveChunk&, int, bool& last) {
        ++fetches;
        last = true;
    };
    rec.Start();
    auto* dev = backend->stream;
    dev->complete(4);
    rec.ProcessMessages();
    EXPECT_EQ(fetches, 1);
    EXPECT_TRUE(rec.EndRequested());
    ASSERT_EQ(dev->written.size(), 5u);
    EXPECT_EQ(dev->written[4].user, LastMarker);
    dev->complete(4); // buffers 1..3: neither delivered nor queued again
    dev->complete(4);
    dev->complete(4);
    rec.ProcessMessages();
    EXPECT_EQ(fetches, 1);
    EXPECT_TRUE(rec.Active());
    dev->complete(4); // the marked one
    rec.ProcessMessages();
    EXPECT_EQ(fetches, 1);
    EXPECT_FALSE(rec.Active());
}

TEST(MPCErrors, EveryDeviceCallFailsWithItsPrefixAndTheDeviceText) {
    struct Case {
        bool output;
        std::string call, prefix;
    };
    const std::vector<Case> cases{
        {true, "open", "WaveOutOpen:"},   {true, "prepare", "WaveOutPrepareHeader:"},
        {true, "write", "WaveOutWrite:"}, {true, "unprepare", "WaveOutUnPrepareHeader:"},
        {true, "reset", "WaveOutReset:"}, {true, "close", "WaveOutClose:"},
        {false, "open", "waveinOpen:"},   {false, "prepare", "waveinPrepareHeader:"},
        {false, "write", "waveinWrite:"}, {false, "unprepare", "waveinUnPrepareHeader:"},
        {false, "reset", "waveinReset:"}, {false, "close", "waveinClose:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        auto backend = std::make_shared<FakeBackend>();
        if (c.call == "open")
            backend->log.openError = "no such device";
        else
            backend->log.failures[c.call] = "no such device";
        auto run = [&](auto& comp) {
            const std::string text = messageOf([&] {
                comp.Start();
                if (c.call == "unprepare") {
                    backend->stream->complete(4);
                    comp.ProcessMessages();
                }
                comp.Stop();
            });
            EXPECT_EQ(text, c.prefix + "no such device");
            // Nothing opened is left behind after a failed open; after any later
            // failure the component still owns the device, as the caller left it.
            EXPECT_EQ(comp.Active(), c.call != "open");
        };
        if (c.output) {
            TMPCPlay play(backend);
            play.setnChunkSamples(4);
            play.OnStash = [](TWaveChunk&, int&, bool&) {};
            run(play);
            backend->log.failures.clear();
            play.Stop();
            EXPECT_FALSE(play.Active());
        } else {
            TMPCRecord rec(backend);
            rec.setnChunkSamples(4);
            rec.OnFetch = [](TWaveChunk&, int, bool&) {};
            run(rec);
            backend->log.failures.clear();
            rec.Stop();
            EXPECT_FALSE(rec.Active());
        }
    }
}

TEST(MPCErrors, DeviceFailureDuringTheRunIsReportedOnce) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCRecord rec(backend);
    rec.setnChunkSamples(4);
    rec.OnFetch = [](TWaveChunk&, int, bool&) {};
    rec.Start();
    backend->stream->fail("Connection terminated");
    backend->stream->fail("Connection terminated");
    EXPECT_EQ(messageOf([&] { rec.ProcessMessages(); }), "waveinWrite:Connection terminated");
    rec.ProcessMessages(); // the second report of the same failure is swallowed
    EXPECT_TRUE(rec.Active());
    rec.Stop();
    EXPECT_FALSE(rec.Active());
}

TEST(MPCErrors, RingSettersAreRefusedWhileOwningTheDevice) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCPlay play(backend);
    play.Open();
    EXPECT_EQ(messageOf([&] { play.setnBuffers(8); }), "Cannot change nBuffers while owning board");
    EXPECT_EQ(messageOf([&] { play.setnChunkSamples(8); }),
              "Cannot change nChunkSamples while owning board");
    EXPECT_EQ(play.nBuffers(), 4);
    EXPECT_THROW(play.Requeue(4), ravlon::ERangeError);
    play.Stop();
}

TEST(MPCDropouts, AreCountedAndTheOwnerIsTold) {
    auto backend = std::make_shared<FakeBackend>();
    TMPCRecord rec(backend);
    rec.setnChunkSamples(4);
    rec.OnFetch = [](TWaveChunk&, int, bool&) {};
    int told = 0;
    rec.OnDropout = [&] { ++told; };
    rec.Start();
    backend->stream->dropout(4096);
    rec.ProcessMessages();
    EXPECT_EQ(told, 1);
    EXPECT_EQ(rec.Dropouts(), 1u);
    EXPECT_EQ(rec.DroppedSamples(), 4096u);
    rec.Stop();
}
