// A host rendering offline (an export, freewheeling) may run far faster or slower than real time: the picture must
// follow the audio's time there, and a picture that comes with a restore or a program must sound at once.
#include "PictureFixtures.h"
#include "ProcessorHarness.h"

#include <chrono>
#include <cstring>
#include <thread>

using namespace block_testing;
using namespace picture_fixtures;

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 256;

/** Brightness that changes along every row and from row to row, and is never black: any turn changes what a row
    reads, and the picture sounds wherever it is read. */
juce::Image slantedPicture()
{
    juce::Image picture (juce::Image::RGB, 64, 64, true);

    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
        {
            const auto level = (juce::uint8) (40 + (x * 11 + y * 5) % 200);
            picture.setPixelAt (x, y, juce::Colour (level, level, level));
        }

    return picture;
}

struct OfflineRender
{
    std::vector<float> samples;
    int tableChanges = 0; // blocks after which wavetable 0 differed from the block before
};

/** One second of a held note while LFO1 turns the picture, rendered as a host renders offline; paced, the host
    waits between blocks, long enough in all for the image thread to make many passes of its own. */
OfflineRender renderTurningPicture (bool paced)
{
    ProcessorHarness host (sampleRate, blockSize);
    auto& processor = *host.processor;
    processor.loadFile (writePng ("slanted.png", slantedPicture()), false);
    host.set ("OverSample", 0.0f);
    host.set ("LFOAmount1", 1.0f);
    host.set ("LFORate1", 2.0f);
    host.set ("Mod_LFO1_Rotate", 1.0f);
    processor.rebookModulationMatrices(); // now, not when the message thread gets to it
    processor.setNonRealtime (true);

    OfflineRender render;
    auto previousTable = tableCopy (processor, 0);
    const auto numBlocks = (int) sampleRate / blockSize;

    for (int block = 0; block < numBlocks; ++block)
    {
        const auto& output =
            host.process (blockSize, block == 0 ? std::vector<Event>{ noteOn (0, 60) } : std::vector<Event>{});
        render.samples.insert (render.samples.end(), output.getReadPointer (0), output.getReadPointer (0) + blockSize);

        auto table = tableCopy (processor, 0);
        render.tableChanges += table != previousTable ? 1 : 0;
        previousTable = std::move (table);

        if (paced)
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }

    return render;
}

int differingSamples (const std::vector<float>& a, const std::vector<float>& b)
{
    int count = 0;

    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        count += std::memcmp (&a[i], &b[i], sizeof (float)) != 0 ? 1 : 0;

    return count + (int) std::max (a.size(), b.size()) - (int) std::min (a.size(), b.size());
}
} // namespace

TEST (OfflineRendering, GivesTheSameSamplesHoweverFastTheHostRendersAndThePictureTurnsInThem)
{
    const auto straight = renderTurningPicture (false);
    const auto paced = renderTurningPicture (true);

    EXPECT_GT (peak (straight.samples), 0.01f);
    EXPECT_EQ (differingSamples (straight.samples, paced.samples), 0);

    // A pass every 33 ms of audio, while the turn, clipped at half a turn either way, moves for two thirds of it.
    EXPECT_GE (straight.tableChanges, 10);
}

namespace
{
/** Half a second of a note from the start of the host's timeline, with "Rotate" automated along the timeline,
    rendered offline after preRollBlocks blocks with the transport standing, as a host's pre-roll before an
    export; returns what the timeline's half second gave. */
std::vector<float> renderAutomatedTurn (int preRollBlocks)
{
    ProcessorHarness host (sampleRate, blockSize);
    auto& processor = *host.processor;
    processor.loadFile (writePng ("slanted.png", slantedPicture()), false);
    host.set ("OverSample", 0.0f);
    processor.setNonRealtime (true);

    for (int block = 0; block < preRollBlocks; ++block)
        host.process (blockSize);

    std::vector<float> samples;

    for (juce::int64 position = 0; position < (juce::int64) sampleRate / 2; position += blockSize)
    {
        host.playHead.timeInSamples = position;
        host.set ("Rotate", (float) position / 100.0f);
        const auto& output =
            host.process (blockSize, position == 0 ? std::vector<Event>{ noteOn (0, 60) } : std::vector<Event>{});
        samples.insert (samples.end(), output.getReadPointer (0), output.getReadPointer (0) + blockSize);
    }

    return samples;
}
} // namespace

// Hosts run a varying number of blocks before an export: on a running timeline the passes fall at the same places
// of it whatever came before, so the timeline's automation is heard the same in every export.
TEST (OfflineRendering, PassesFallOnTheTimelineWhateverTheHostRanBefore)
{
    const auto once = renderAutomatedTurn (1);
    EXPECT_GT (peak (once), 0.01f);

    for (const int preRollBlocks : { 2, 3, 5 })
    {
        SCOPED_TRACE ("pre-roll of " + std::to_string (preRollBlocks) + " blocks");
        EXPECT_EQ (differingSamples (renderAutomatedTurn (preRollBlocks), once), 0);
    }
}

namespace
{
/** A state naming a picture, as a host saves it, and the picture's path. */
std::pair<juce::MemoryBlock, juce::String> stateNamingAPicture()
{
    const auto path = writePng ("restored.png", slantedPicture());
    auto processor = std::make_unique<OstrelAudioProcessor>();
    processor->loadFile (path, false);

    juce::MemoryBlock state;
    processor->getStateInformation (state);
    return { state, path };
}

/** How a host gives a fresh instance its picture: state restored before or after it prepares, or a program. */
enum class Arrival
{
    restoredThenPrepared,
    preparedThenRestored,
    programAfterPrepare
};

/** A fresh instance as a host opens it, given its picture as arrival says, with a note from the first block on.
    Offline, the host says so before it prepares, as VST3 hosts do, so that the image thread never makes a pass. */
struct OpenedInstance
{
    OpenedInstance (Arrival arrival, bool offline, const juce::MemoryBlock& state, const juce::String& picturePath) :
        processor (std::make_unique<OstrelAudioProcessor>())
    {
        processor->setNonRealtime (offline);

        if (arrival == Arrival::programAfterPrepare)
        {
            auto program = processor->makeProgramFromCurrentSettings ("With a picture");
            program.imagePath = picturePath;
            const juce::ScopedLock lock (processor->programsLock);
            processor->programs.push_back (program);
        }

        if (arrival == Arrival::restoredThenPrepared)
            processor->setStateInformation (state.getData(), (int) state.getSize());

        processor->setPlayConfigDetails (0, 2, sampleRate, blockSize);
        processor->prepareToPlay (sampleRate, blockSize);
        processor->setPlayHead (&playHead);

        if (arrival == Arrival::preparedThenRestored)
            processor->setStateInformation (state.getData(), (int) state.getSize());
        else if (arrival == Arrival::programAfterPrepare)
            processor->setCurrentProgram (1);

        midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);
    }

    ~OpenedInstance() { processor->setPlayHead (nullptr); }

    /** The peak of the next block. */
    float nextBlockPeak()
    {
        juce::AudioBuffer<float> output (2, blockSize);
        processor->processBlock (output, midi);
        return output.getMagnitude (0, 0, blockSize);
    }

    std::unique_ptr<OstrelAudioProcessor> processor;
    TestPlayHead playHead;
    juce::MidiBuffer midi;
};

struct ArrivalCase
{
    const char* what;
    Arrival arrival;
};

const ArrivalCase arrivals[] = {
    { "state restored, then prepared", Arrival::restoredThenPrepared },
    { "prepared, then state restored", Arrival::preparedThenRestored },
    { "prepared, then a program with a picture", Arrival::programAfterPrepare },
};
} // namespace

TEST (OfflineRendering, APictureThatArrivesSoundsInTheFirstBlock)
{
    const auto [state, picturePath] = stateNamingAPicture();

    for (const auto& arrival : arrivals)
        for (int round = 0; round < 10; ++round)
        {
            SCOPED_TRACE (std::string (arrival.what) + ", round " + std::to_string (round));
            OpenedInstance instance (arrival.arrival, true, state, picturePath);
            EXPECT_GT (instance.nextBlockPeak(), 1.0e-3f);
        }
}

// In real time the grid follows the image thread's passes, so the first block may be silent; the picture sounds
// from the first block after the image thread's first pass.
TEST (RealTimeRendering, APictureThatArrivesSoundsOnceTheImageThreadHasMadeAPass)
{
    const auto [state, picturePath] = stateNamingAPicture();

    for (const auto& arrival : arrivals)
        for (int round = 0; round < 7; ++round)
        {
            SCOPED_TRACE (std::string (arrival.what) + ", round " + std::to_string (round));
            OpenedInstance instance (arrival.arrival, false, state, picturePath);
            instance.nextBlockPeak();

            ASSERT_TRUE (
                testing_helpers::waitFor ([&] { return gridAt (*instance.processor, 256, 256) > 0.0f; }, 10000));
            EXPECT_GT (instance.nextBlockPeak(), 1.0e-3f);
        }
}
