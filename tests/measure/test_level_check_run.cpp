// The check before measuring through the simulated room: the background and
// noise stretches it records give the margins the room's settings imply, the
// advice follows the background, and the output attenuation lowers the
// recorded noise by exactly its amount.
#include "core/measure/level_check.h"
#include "loop_helpers.h"
#include "measure/level_check_run.h"
#include "platform/audio/room_backend.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ravlon;
using namespace std::chrono_literals;

namespace {

struct Stretches {
    std::vector<int16_t> background, noise;
    std::vector<std::string> errors;
    int64_t metered = 0; // samples handed to OnBuffer
};

Stretches RunCheck(const std::string& room, double attenuation) {
    Stretches s;
    test::ExceptionCatcher catcher;
    TLevelCheckRun run(std::make_shared<audio::RoomBackend>(room));
    bool done = false;
    run.OnBuffer = [&](std::span<const int16_t> b) { s.metered += int64_t(b.size()); };
    run.OnDone = [&](std::span<const int16_t> bg, std::span<const int16_t> noise) {
        s.background.assign(bg.begin(), bg.end());
        s.noise.assign(noise.begin(), noise.end());
        done = true;
    };
    run.Start(48000, attenuation);
    EXPECT_TRUE(run.Active());
    EXPECT_TRUE(test::RunUntil([&] { return done || !catcher.messages.empty(); }, 30s));
    EXPECT_FALSE(run.Active());
    s.errors = catcher.messages;
    return s;
}

double RmsDb(std::span<const int16_t> x) {
    double sum = 0;
    for (int16_t v : x) sum += double(v) * v;
    return 10 * std::log10(sum / double(x.size()) / (32768.0 * 32768.0));
}

} // namespace

TEST(LevelCheckRun, MarginsFollowTheRoomsBackgroundAndTheAdviceChanges) {
    // The noise plays at -4.77 dBFS RMS, the room takes 10 dB off: -14.77 dBFS.
    for (double background : {-40.0, -90.0}) {
        SCOPED_TRACE(background);
        const Stretches s =
            RunCheck("t60=0.3,gain=-10,pace=fast,noise=" + std::to_string(int(background)), 0);
        ASSERT_TRUE(s.errors.empty()) << s.errors.front();
        ASSERT_EQ(s.background.size(), 96000u);
        ASSERT_EQ(s.noise.size(), 96000u);
        EXPECT_EQ(s.metered, 192000);
        const TLevelCheck r = CheckLevels(s.background, s.noise, 48000);
        for (const TLevelCheckBand& b : r.Bands) {
            ASSERT_TRUE(b.Evaluated);
            EXPECT_NEAR(b.Margin, -14.77 - background, 2.0) << b.Band.Nominal;
        }
        const std::string enough = "The level is enough for EDT, T20 and T30 in every octave";
        const std::string edtOnly = "T30 and T20 not possible in any octave; use EDT";
        const bool quiet = background < -80;
        EXPECT_EQ(std::count(r.Advice.begin(), r.Advice.end(), enough), quiet ? 1 : 0);
        EXPECT_EQ(std::count(r.Advice.begin(), r.Advice.end(), edtOnly), quiet ? 0 : 1);
    }
}

TEST(LevelCheckRun, TwentyDecibelsOfAttenuationLowerTheRecordedNoiseByTwenty) {
    const std::string room = "t60=0.3,gain=-10,noise=off,pace=fast";
    const Stretches full = RunCheck(room, 0), lower = RunCheck(room, 20);
    ASSERT_TRUE(full.errors.empty() && lower.errors.empty());
    ASSERT_EQ(full.noise.size(), lower.noise.size());
    const std::size_t from = full.noise.size() / 4; // past the latency and the build-up
    EXPECT_NEAR(RmsDb(std::span(full.noise).subspan(from)) -
                    RmsDb(std::span(lower.noise).subspan(from)),
                20.0, 0.1);
    // The background stretch is silent: the output played nothing before the noise.
    EXPECT_TRUE(std::all_of(full.background.begin(), full.background.end(),
                            [](int16_t v) { return v == 0; }));
}

TEST(LevelCheckRun, StoppedAtTheLastBufferDeliversNothing) {
    TLevelCheckRun run(std::make_shared<audio::RoomBackend>("pace=fast"));
    bool done = false, stopped = false;
    run.OnDone = [&](auto, auto) { done = true; };
    run.OnBuffer = [&](auto) {
        if (run.Recorded() == run.Total()) {
            run.Stop();
            stopped = true;
        }
    };
    run.Start(16000, 0);
    EXPECT_TRUE(test::RunUntil([&] { return stopped; }, 30s));
    test::RunUntil([] { return false; }, 200ms);
    EXPECT_FALSE(done);
    EXPECT_FALSE(run.Active());
}

TEST(LevelCheckRun, BadSettingsAndAFailingOpenLeaveNothingOpen) {
    TLevelCheckRun run(std::make_shared<audio::RoomBackend>("t60=abc"));
    EXPECT_THROW(run.Start(48000, -3), ERangeError);
    EXPECT_THROW(run.Start(500, 0), ERangeError);
    EXPECT_THROW(run.Start(48000, 0), EMPCError);
    EXPECT_FALSE(run.Active());
}
