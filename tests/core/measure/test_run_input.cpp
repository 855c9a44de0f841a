// Reading the main window's settings: every refusal names its field and says
// what works.
#include "core/base/numtext.h"
#include "core/measure/run_input.h"

#include <gtest/gtest.h>

#include <string>

namespace ravlon {
namespace {

RunInputTexts Defaults() {
    return {"48000", "500", "1", "1", "1", 3};
}

TEST(RunInput, RefusalsNameTheFieldAndWhatWorks) {
    struct Case {
        std::string RunInputTexts::*field;
        const char* text;
        int32_t window;
        const char* message;
    };
    const Case cases[] = {
        {&RunInputTexts::SampFreq, "abc", 3, "Sampling rate [Hz]: 'abc' is not a number"},
        {&RunInputTexts::SampFreq, "44100.5", 3,
         "Sampling rate [Hz]: '44100.5' is not a whole number"},
        {&RunInputTexts::SampFreq, "0", 3, "Sampling rate must be more than 0 Hz"},
        {&RunInputTexts::Bandwidth, "abc", 3, "Bandwidth [Hz]: 'abc' is not a number"},
        {&RunInputTexts::Bandwidth, "", 3, "Bandwidth [Hz]: '' is not a number"},
        // Window sizes 2 .. 2^20: 48000 * 2 / bandwidth rounds into that range.
        {&RunInputTexts::Bandwidth, "0.001", 3,
         "Bandwidth [Hz]: 0.001 is out of range; at 48000 Hz with the Hanning window it must "
         "be from 0.0916 to 64000 Hz"},
        {&RunInputTexts::Bandwidth, "-5", 0,
         "Bandwidth [Hz]: -5 is out of range; at 48000 Hz with the rectangular window it must "
         "be from 0.0458 to 32000 Hz"},
        {&RunInputTexts::PreNoise, "x", 3, "Pre-noise silence [s]: 'x' is not a number"},
        {&RunInputTexts::PostNoise, "-1", 3,
         "Post-noise silence [s]: -1 is out of range; it must be 0 s or more"},
        {&RunInputTexts::Noise, "1s", 3, "Noise duration [s]: '1s' is not a number"},
        {&RunInputTexts::Noise, "0", 3, "Noise duration must be longer than 0 s"},
        {&RunInputTexts::Noise, "0.001", 3,
         "Noise duration must be longer than 0 s: 0.001 s is shorter than one analysis block "
         "(5.33 ms at this bandwidth)"},
        {&RunInputTexts::PostNoise, "40000", 3,
         "The measurement cycle is too long: the spectrogram would take"},
    };
    for (const Case& c : cases) {
        RunInputTexts texts = Defaults();
        texts.*c.field = c.text;
        texts.Window = c.window;
        TSpectrogram::RunSettings s;
        try {
            ReadRunSettings(texts, s);
            ADD_FAILURE() << c.text << " was taken";
        } catch (const EInputError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        }
    }
    // The bounds the message gives are taken, just beyond them is refused; the
    // defaults give the default cycle.
    EXPECT_EQ(ReadBandwidth("0.0916", 48000, 3), 0.0916);
    EXPECT_EQ(ReadBandwidth("64000", 48000, 3), 64000);
    EXPECT_THROW(ReadBandwidth("64001", 48000, 3), EInputError);
    EXPECT_THROW(ReadBandwidth("0.0915", 48000, 3), EInputError);
    TSpectrogram::RunSettings s;
    EXPECT_EQ(ReadRunSettings(Defaults(), s).Pos3, 144384);
}

} // namespace
} // namespace ravlon
