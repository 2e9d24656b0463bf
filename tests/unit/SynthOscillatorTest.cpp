#include "SynthFixtures.h"

using namespace synth_testing;

namespace
{
/** Silences a voice again so that the next case of a table starts from scratch. */
void silence (Voice& voice)
{
    voice.resetVoice();
    voice.ampState = 0;
    voice.ampLevel = 0.0f;
}
} // namespace

TEST_F (SynthTest, PictureOscillatorSoundsThePeriodItIsGiven)
{
    struct Case
    {
        const char* what;
        float period;      // voice samples per cycle
        float fineTuneImg; // semitones
        float pitchBend;   // factor on the period
        double expectedHz;
    };

    const Case cases[] = {
        { "A at 440 Hz", voiceRate / 440.0f, 0.0f, 1.0f, 440.0 },
        { "long period", 1920.0f, 0.0f, 1.0f, 100.0 },
        { "fine tune up an octave", 1920.0f, 12.0f, 1.0f, 200.0 },
        { "fine tune down seven semitones", 1920.0f, -7.0f, 1.0f, 100.0 * std::pow (2.0, -7.0 / 12.0) },
        { "pitch bend halves the period", 1920.0f, 0.0f, 0.5f, 200.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        setParameter ("fineTuneImg", c.fineTuneImg);
        synth.pitchBend = c.pitchBend;
        auto& voice = start (0, c.period);

        const auto out = renderInBlocks ((int) voiceRate / 2);
        EXPECT_NEAR (measureFrequency (out, 20000, voiceRate), c.expectedHz, c.expectedHz * 1.0e-4);

        silence (voice);
    }
}
