#include "ProcessorHarness.h"

using namespace block_testing;

namespace
{
/** Channel 0 of the work buffer the voices rendered the last piece into. */
const float* workBuffer (ProcessorHarness& host) { return host.processor->oversampledBuffer.getReadPointer (0); }

std::vector<float> channel (const juce::AudioBuffer<float>& buffer, int index)
{
    return { buffer.getReadPointer (index), buffer.getReadPointer (index) + buffer.getNumSamples() };
}
} // namespace

TEST (BlockProcessing, NotesSoundAtTheOctaveChoiceWhateverTheOversampling)
{
    struct Case
    {
        float octave, overSample;
        double hz;
    };

    // "Octave" "0" is two octaves below concert pitch: note 69 at 110 Hz.
    const Case cases[] = { { 0.0f, 1.0f, 27.5 },
                           { 2.0f, 1.0f, 110.0 },
                           { 4.0f, 1.0f, 440.0 },
                           { 2.0f, 0.0f, 110.0 },
                           { 2.0f, 2.0f, 110.0 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String ("Octave choice ") + juce::String (c.octave) + ", oversampling choice "
                      + juce::String (c.overSample));
        ProcessorHarness host;
        useSecondOscillatorOnly (host);
        host.set ("Octave", c.octave);
        host.set ("OverSample", c.overSample);

        const auto samples = host.run (48000, { noteOn (0, 69) });
        EXPECT_NEAR (zeroCrossingFrequency (samples, 48000.0, 4800), c.hz, c.hz * 0.002);
    }
}

TEST (BlockProcessing, ANoteOnAtHostPositionPStartsAtPTimesTheFactor)
{
    for (const auto overSample : { 0.0f, 1.0f, 2.0f })
    {
        const auto factor = 2 << (int) overSample;

        for (const auto p : { 0, 1, 100, 511 })
        {
            SCOPED_TRACE (juce::String ("factor ") + juce::String (factor) + ", position " + juce::String (p));
            ProcessorHarness host;
            useSecondOscillatorOnly (host, 2); // a square never crosses zero, so the first sample shows
            host.set ("OverSample", overSample);
            host.set ("Attack", 0.0f);
            host.set ("Release", 0.0f);

            // A first note brings voice 0's control values up to date; it is silent again at once.
            host.process (512, { noteOn (0, 60), noteOff (500, 60) });
            ASSERT_EQ (host.voice (0).ampState, 0);

            host.process (512, { noteOn (p, 60) });
            const auto* w = workBuffer (host);
            const auto start = p * factor;

            for (int i = 0; i < start; ++i)
                ASSERT_EQ (w[i], 0.0f) << "sample " << i;
            EXPECT_NE (w[start], 0.0f);
        }
    }
}

TEST (BlockProcessing, BothOutputChannelsAreIdenticalAndMonoGetsTheSameSound)
{
    ProcessorHarness stereo (48000.0, 256, 2);
    ProcessorHarness mono (48000.0, 256, 1);

    for (auto* host : { &stereo, &mono })
    {
        fillGridWithPattern (*host->processor);
        useSecondOscillatorOnly (*host, 1);
        host->set ("Q", 0.9f);
    }

    const std::vector<Event> chord{ noteOn (0, 48), noteOn (17, 55), noteOn (100, 64), noteOff (200, 55) };
    bool heardSomething = false;

    for (int block = 0; block < 40; ++block)
    {
        const auto& left = block == 0 ? stereo.process (256, chord) : stereo.process (256);
        const auto& single = block == 0 ? mono.process (256, chord) : mono.process (256);

        for (int i = 0; i < 256; ++i)
        {
            ASSERT_EQ (left.getSample (0, i), left.getSample (1, i)) << "block " << block << ", sample " << i;
            ASSERT_EQ (left.getSample (0, i), single.getSample (0, i)) << "block " << block << ", sample " << i;
            heardSomething = heardSomething || left.getSample (0, i) != 0.0f;
        }
    }

    EXPECT_TRUE (heardSomething);
}

TEST (BlockProcessing, BlocksLongerThanPreparedAreRenderedInPiecesLikeOneBlock)
{
    ProcessorHarness small (48000.0, 256);
    ProcessorHarness large (48000.0, 2048);

    for (auto* host : { &small, &large })
    {
        useSecondOscillatorOnly (*host, 1);
        host->set ("Release", 0.0f);
    }

    // Events in every piece, one exactly on a piece boundary, one past the end of the block.
    const std::vector<Event> events{ noteOn (0, 60),
                                     noteOn (256, 67),
                                     noteOff (700, 60),
                                     noteOn (999, 72),
                                     noteOn (1500, 76) };

    for (int block = 0; block < 3; ++block)
    {
        const auto expected = channel (large.process (1000, block == 0 ? events : std::vector<Event>{}), 0);
        const auto actual = channel (small.process (1000, block == 0 ? events : std::vector<Event>{}), 0);

        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_NEAR (actual[i], expected[i], 1.0e-6f) << "block " << block << ", sample " << i;
    }

    EXPECT_GT (peak (channel (small.output, 0)), 0.0f);
    EXPECT_EQ (small.voice (0).note, 72); // voice 0 was free again after its note-off at 700
    EXPECT_EQ (small.voice (2).note, 76); // the event past the end acted too, after the one at 999
}

TEST (BlockProcessing, MasterGainScalesTheFinishedBlock)
{
    struct Case
    {
        float gainDb;
        float factor;
    };

    // -6 dB is unity (the buffer is left as it is); -48 dB is 10^(-42/20).
    const Case cases[] = { { -6.0f, 1.0f },
                           { -48.0f, std::pow (10.0f, -42.0f / 20.0f) },
                           { 12.0f, std::pow (10.0f, 18.0f / 20.0f) } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.gainDb);
        ProcessorHarness host;
        useSecondOscillatorOnly (host, 1);
        host.set ("Gain", c.gainDb);
        ASSERT_EQ (host.raw ("Gain"), c.gainDb);

        // The spectrum feed keeps the first 1024 samples as they were before the gain.
        const auto samples = host.run (1536, { noteOn (0, 57) });
        ASSERT_TRUE (host.processor->spectrumBlockReady.load());

        for (int i = 0; i < 1024; ++i)
        {
            if (c.factor == 1.0f)
                ASSERT_EQ (samples[(size_t) i], host.processor->spectrumFftData[i]) << "sample " << i;
            else
            {
                const auto expected = host.processor->spectrumFftData[i] * c.factor;
                ASSERT_NEAR (samples[(size_t) i], expected, std::abs (expected) * 1.0e-5f) << "sample " << i;
            }
        }
        EXPECT_GT (peak (samples), 0.0f);
    }
}

TEST (BlockProcessing, WithoutAPlayHeadTheBlockIsSilentItsMidiGoneAndOnlyReleasesAct)
{
    struct Case
    {
        const char* name;
        std::vector<Event> events;
        int ampState; // of voice 0 after the block without a play head
    };

    // Voice 0 plays note 60 when the play head goes; the sustain case holds it with the pedal first.
    const Case cases[] = {
        { "a note-on is not played", { noteOn (0, 64) }, 3 },
        { "a note-off releases", { noteOff (10, 60) }, 4 },
        { "velocity 0 releases", { noteOn (10, 60, 0) }, 4 },
        { "all notes off releases", { controller (10, 123, 0) }, 4 },
        { "the pedal's lift releases", { controller (5, 64, 127), noteOff (10, 60), controller (20, 64, 0) }, 4 },
        { "other controllers do nothing", { controller (10, 1, 127), controller (11, 7, 0) }, 3 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ProcessorHarness host;
        useSecondOscillatorOnly (host);
        host.set ("Attack", 0.0f);
        host.set ("Decay", 0.0f);
        host.set ("Sustain", 1.0f);
        host.set ("Release", 50.0f);
        host.process (512, { noteOn (0, 60) });
        ASSERT_EQ (host.voice (0).ampState, 3);

        host.processor->setPlayHead (nullptr);
        const auto& output = host.process (512, c.events);

        EXPECT_EQ (output.getMagnitude (0, 512), 0.0f);
        EXPECT_EQ (host.midi.getNumEvents(), 0) << "no MIDI goes back to the host";
        EXPECT_EQ (host.voice (0).ampState, c.ampState);
        EXPECT_EQ (host.voice (1).ampState, 0) << "no other voice starts";
    }
}

TEST (BlockProcessing, TempoComesFromThePlayHeadOr120)
{
    struct Case
    {
        bool hasPosition;
        std::optional<double> tempo;
        float bpm;
    };

    const Case cases[] = { { true, 90.0, 90.0f }, { true, std::nullopt, 120.0f }, { false, std::nullopt, 120.0f } };

    for (const auto& c : cases)
    {
        ProcessorHarness host;
        host.processor->bpm = 1.0f;
        host.playHead.hasPosition = c.hasPosition;
        host.playHead.tempo = c.tempo;

        const auto& output = host.process (64, { noteOn (0, 60) });

        EXPECT_EQ (host.processor->bpm, c.bpm);
        EXPECT_EQ (host.midi.getNumEvents(), 0); // handled and cleared; the plug-in emits no MIDI
        EXPECT_EQ (host.voice (0).note, 60);
        EXPECT_TRUE (std::isfinite (output.getMagnitude (0, 64)));
    }
}

TEST (BlockProcessing, FilterTypesReachTheVoicesAndShapeTheSound)
{
    std::vector<std::vector<float>> outputs;

    for (const auto type : { 0.0f, 1.0f, 2.0f })
    {
        SCOPED_TRACE (type);
        ProcessorHarness host;
        useSecondOscillatorOnly (host, 1);
        host.set ("Type", type);
        host.set ("Freq", 1000.0f);

        outputs.push_back (host.run (4096, { noteOn (0, 45) }));

        EXPECT_EQ (host.processor->filterConfigs[FilterIndex::type].currentValue.load(), type);
        EXPECT_EQ (host.voice (0).filterType, (int) type);
        EXPECT_GT (peak (outputs.back()), 0.0f);
    }

    EXPECT_NE (outputs[0], outputs[1]);
    EXPECT_NE (outputs[0], outputs[2]);
    EXPECT_NE (outputs[1], outputs[2]);
}

TEST (BlockProcessing, HostMidiGoesToTheCallbackAndKeyboardNotesArePlayed)
{
    ProcessorHarness host;
    std::vector<std::pair<int, double>> seen;
    host.processor->incomingMidiCallback = [&seen] (const juce::MidiMessage& message)
    { seen.emplace_back (message.getNoteNumber(), message.getTimeStamp()); };

    {
        const juce::ScopedLock lock (host.processor->keyboardMidiLock);
        host.processor->keyboardMidiBuffer.addEvent (juce::MidiMessage::noteOn (1, 72, (juce::uint8) 127), 0);
        host.processor->keyboardMidiBuffer.addEvent (juce::MidiMessage::noteOn (1, 74, (juce::uint8) 127), 600);
    }

    host.process (512, { noteOn (30, 60) });

    ASSERT_EQ (seen.size(), 1u); // the host's events only
    EXPECT_EQ (seen[0], std::make_pair (60, 30.0));
    EXPECT_EQ (host.voice (0).note, 72); // the keyboard's note sits at 0, before the host's
    EXPECT_EQ (host.voice (1).note, 60);
    EXPECT_EQ (host.voice (2).note, 0); // beyond the block: not taken
    EXPECT_TRUE (host.processor->keyboardMidiBuffer.isEmpty());
    host.processor->incomingMidiCallback = nullptr;
}

TEST (BlockProcessing, HiFidelReadsTheLineOrCircleTheWavetableIsReadAlong)
{
    struct Case
    {
        bool circle;
        float veloShift;
        float row;
    };

    // Velocity 100 with "VeloShift" 0.5 shifts by (int) (36 x 0.5) = 18: the line moves up 4 x 18 rows
    // (only while "VeloShift" is on), the circle's radius grows by 2 x 18 (always).
    const Case cases[] = { { false, 0.0f, 100.0f },
                           { false, 0.5f, 100.0f - 72.0f },
                           { true, 0.5f, 2.0f * (50.0f + 36.0f) } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.circle ? "circle" : "line") + " " + juce::String (c.veloShift));
        ProcessorHarness host;
        fillGridWithPattern (*host.processor);
        host.set ("HiFidel", 1.0f);
        host.set ("TypeCircle", c.circle ? 1.0f : 0.0f);
        host.set ("VeloShift", c.veloShift);
        host.set ("Shift", 100.0f);
        host.set ("..", 300.0f);
        host.set (":", 200.0f);

        const auto samples = host.run (4096, { noteOn (0, 57, 100) });

        const auto& voice = host.voice (0);
        EXPECT_EQ (voice.scanCircle, c.circle);
        EXPECT_FLOAT_EQ (voice.scanRow, c.row);
        EXPECT_EQ (voice.scanCentre[0], 300.0f);
        EXPECT_EQ (voice.scanCentre[1], 200.0f);
        EXPECT_GT (peak (samples), 0.0f); // the grid sounds although no wavetable was read
    }
}

TEST (BlockProcessing, BeforePrepareToPlayNothingIsRenderedButEventsAct)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    TestPlayHead playHead;
    processor->setPlayHead (&playHead);
    testing_helpers::setRaw (*processor, "subBass", 0.5f);

    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 10);
    processor->processBlock (buffer, midi);

    EXPECT_EQ (buffer.getMagnitude (0, 256), 0.0f);
    EXPECT_EQ (processor->synth.voices[0].note, 60);
    EXPECT_TRUE (midi.isEmpty());
    processor->setPlayHead (nullptr);
}
