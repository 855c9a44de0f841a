// "No allocation per block once sizes are settled": counts every call of the
// global operator new (replaced here for the whole test program; it only
// counts and forwards to malloc) around SetData/GetPower and AddSamples.
#include "../../support/alloc_counter.h"
#include "core/measure/fft.h"
#include "core/measure/spectrogram.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace ravlon;

namespace {

std::vector<int16_t> Samples(size_t n) {
    std::mt19937 gen(77);
    std::uniform_int_distribution<int> dist(-30000, 30000);
    std::vector<int16_t> x(n);
    for (auto& v : x) v = static_cast<int16_t>(dist(gen));
    return x;
}

} // namespace

TEST(NoAllocation, CountingWorks) {
    const long before = gNewCalls.load();
    std::vector<int> v(100);
    volatile int* keep = v.data(); // the allocation cannot be optimised away
    keep[5] = 1;
    EXPECT_EQ(gNewCalls.load() - before, 1);
}

TEST(NoAllocation, FFTBlocksOnceSizesAreSettled) {
    for (int n : {16, 256, 4096, 65536}) {
        TFFT fft;
        fft.SetWindow(TFFTWindow::Hanning);
        std::vector<double> a(static_cast<size_t>(n), 1.0), b(static_cast<size_t>(n), 2.0);
        a[1] = 5;
        b[2] = -5;
        fft.SetData(a);
        double sink = fft.GetPower()[1]; // settles the sizes and tables
        const long before = gNewCalls.load();
        for (int i = 0; i < 50; ++i) {
            fft.SetData(i % 2 ? a : b);
            sink += fft.GetPower()[static_cast<size_t>(i % n)];
        }
        EXPECT_EQ(gNewCalls.load() - before, 0) << "N = " << n;
        EXPECT_TRUE(sink == sink);
    }
}

TEST(NoAllocation, AddSamplesAtTheDefaultSettings) {
    TFFT fft;
    TSpectrogram s(fft);
    int repaints = 0;
    s.OnRepaintRequest = [&repaints] { ++repaints; };
    s.SetupRun({});
    auto x = Samples(4096 * 80);  // over two cycles in chunks of 4096
    s.AddSamples(x.data(), 4096); // the first block adopts the block length
    const long before = gNewCalls.load();
    for (size_t i = 4096; i < x.size(); i += 4096) s.AddSamples(x.data() + i, 4096);
    s.UpdateNoiseReference();
    EXPECT_EQ(gNewCalls.load() - before, 0);
    EXPECT_EQ(repaints, 3); // set-up + two completed cycles
}
