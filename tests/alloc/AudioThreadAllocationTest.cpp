// Counts every heap allocation (and every write, see below) the test's own thread makes while the counting flag is up.
// This file replaces the global allocation functions, so it lives in its own test program.
#include "EditorFixture.h"
#include "ProcessorHarness.h"
#include "editor/panels/GlobalPanelClass.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace
{
std::atomic<long> allocationCount{ 0 };
thread_local bool countingAllocations = false;

void noteAllocation() noexcept
{
    if (countingAllocations)
        allocationCount.fetch_add (1, std::memory_order_relaxed);
}

void* allocateOrThrow (std::size_t size)
{
    noteAllocation();
    if (auto* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new (std::size_t size) { return allocateOrThrow (size); }
void* operator new[] (std::size_t size) { return allocateOrThrow (size); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
// <new> declares the sized forms only where sized deallocation is on (clang leaves it off before C++20).
#if !defined(__cpp_sized_deallocation)
void operator delete (void* p, std::size_t) noexcept;
void operator delete[] (void* p, std::size_t) noexcept;
#endif
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }

// A sanitizer runtime owns malloc itself. GCC says so with __SANITIZE_*__, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OSTREL_SANITIZER_OWNS_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define OSTREL_SANITIZER_OWNS_MALLOC 1
#endif
#endif

// JUCE's buffers allocate with malloc and realloc directly: count those too, where glibc lets the
// program stand in for them and no sanitizer runtime owns them.
#if defined(__GLIBC__) && !defined(OSTREL_SANITIZER_OWNS_MALLOC)
extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);

    void* malloc (std::size_t size)
    {
        noteAllocation();
        return __libc_malloc (size);
    }

    void* calloc (std::size_t count, std::size_t size)
    {
        noteAllocation();
        return __libc_calloc (count, size);
    }

    void* realloc (void* p, std::size_t size)
    {
        noteAllocation();
        return __libc_realloc (p, size);
    }

    // Posting a message to the message thread writes to a pipe: the audio thread must never do it (nor write to
    // anything else), so writes are counted alongside allocations.
    ssize_t __write (int, const void*, std::size_t);

    ssize_t write (int fd, const void* data, std::size_t size)
    {
        noteAllocation();
        return __write (fd, data, size);
    }
}
#endif

using namespace block_testing;

namespace
{
struct Run
{
    long allocations = 0;
    float peak = 0.0f;
};

/** Matrix cells that a host automates inside its audio callback, one of each matrix. */
struct AutomatedCells
{
    explicit AutomatedCells (OstrelAudioProcessor& processor)
    {
        for (const auto* id : { "Mod_LFO2_Q", "Mod_Env1_Glide", "Mod_Vel_fineTuneImg" })
            parameters.push_back (processor.valueTreeState.getParameter (id));
    }

    /** What the host's automation sets before block number block; some blocks set a cell back to 0. [audio thread] */
    void automate (int block)
    {
        for (size_t i = 0; i < parameters.size(); ++i)
            parameters[i]->setValueNotifyingHost (
                (block + (int) i) % 4 == 0 ? 0.5f : (float) ((block * 7 + (int) i) % 100) / 99.0f);
    }

    std::vector<juce::RangedAudioParameter*> parameters;
};

/** Runs numBlocks blocks with a changing stream of notes and controllers, and matrix cells automated inside each
    block as hosts deliver automation; counts the allocations made there. */
Run allocationsWhileProcessing (ProcessorHarness& host, int numBlocks)
{
    auto& processor = *host.processor;
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    midi.ensureSize (4096);
    AutomatedCells automation (processor);
    Run run;

    for (int block = 0; block < numBlocks; ++block)
    {
        midi.clear();
        const auto note = 40 + (block * 7) % 40;
        midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) (20 + block % 100)), block % 512);
        midi.addEvent (juce::MidiMessage::noteOff (1, 40 + ((block + 29) * 7) % 40), (block * 13) % 512);
        midi.addEvent (juce::MidiMessage::pitchWheel (1, (block * 517) % 16384), 100);
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 1, block % 128), 200);
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 64, block % 3 == 0 ? 127 : 0), 300);
        midi.addEvent (juce::MidiMessage::channelPressureChange (1, block % 128), 400);
        if (block % 50 == 49)
            midi.addEvent (juce::MidiMessage::allNotesOff (1), 511);

        const auto before = allocationCount.load();
        countingAllocations = true;
        automation.automate (block);
        processor.processBlock (buffer, midi);
        countingAllocations = false;
        run.allocations += allocationCount.load() - before;
        run.peak = std::max (run.peak, buffer.getMagnitude (0, 512));
    }

    return run;
}

juce::File writeTestPicture()
{
    juce::Image picture (juce::Image::RGB, 64, 48, true);
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 48; ++y)
            picture.setPixelAt (
                x,
                y,
                juce::Colour ((juce::uint8) (x * 4), (juce::uint8) (y * 5), (juce::uint8) ((x * y) % 256)));

    auto file =
        juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("alloc-picture", ".png");
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat().writeImageToStream (picture, stream);
    return file;
}
} // namespace

TEST (AudioThreadAllocation, SteadyStateBlocksAllocateNothing)
{
    struct Case
    {
        const char* what;
        std::vector<std::pair<const char*, float>> settings;
    };

    const Case cases[] = {
        { "x4 polyphonic", {} },
        { "x2 mono with glide and velocity shift",
          { { "OverSample", 0.0f }, { "Mono", 1.0f }, { "Glide", 50.0f }, { "VeloShift", 0.5f } } },
        { "x8 circle with smoothing",
          { { "OverSample", 2.0f }, { "TypeCircle", 1.0f }, { "Smooth", 0.5f }, { "VeloShift", 0.5f } } },
        { "HiFidel with LFOs",
          { { "HiFidel", 1.0f },
            { "Mod_LFO1_Freq", 0.5f },
            { "LFOAmount1", 1.0f },
            { "LFOType1", 4.0f },
            { "LFOSync2", 1.0f } } },
        { "second oscillator noise", { { "subBass", 0.5f }, { "2OscType", 4.0f }, { "Type", 2.0f } } },
    };

    const auto picture = writeTestPicture();

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        ProcessorHarness host;
        host.processor->loadFile (picture.getFullPathName(), false);
        fillGridWithPattern (*host.processor);
        host.set ("subBass", 0.3f); // sound even while no wavetable has been read yet
        for (const auto& [id, value] : c.settings)
            host.set (id, value);

        allocationsWhileProcessing (host, 20); // warm-up: first uses of shared singletons
        const auto run = allocationsWhileProcessing (host, 300);
        EXPECT_EQ (run.allocations, 0);
        EXPECT_GT (run.peak, 0.0f);
    }

    picture.deleteFile();
}

TEST (AudioThreadAllocation, AnOpenEditorWithHostNotesFloodingInAllocatesNothing)
{
    editor_testing::EditorHarness harness;
    auto& processor = harness.processor();
    editor_testing::RecordingKeyboard keyboard;
    harness.editor().getHostNoteDisplay().setKeyboard (&keyboard);

    // Knobs and bars of routed parameters in the window, told their modulated values every block.
    GlobalPanelClass filterPanel (processor, processor.filterConfigs);
    GlobalPanelClass globalPanel (processor, processor.globalSynthConfigs);
    harness.editor().addAndMakeVisible (filterPanel);
    harness.editor().addAndMakeVisible (globalPanel);
    for (const auto& [id, value] : { std::pair{ "LFOAmount1", 1.0f },
                                     { "Mod_LFO1_Gain", 0.5f },
                                     { "Mod_Env1_Q", 0.4f },
                                     { "Mod_Mod_fineTuneImg", 0.3f },
                                     { "Mod_Vel_Glide", 0.2f } })
        harness.host.set (id, value);
    processor.rebookModulationMatrices(); // as a restored state routes them

    // Each block brings more notes than the host-note queue holds.
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    midi.ensureSize (65536);
    long allocations = 0;

    for (int block = 0; block < 220; ++block)
    {
        midi.clear();
        for (int i = 0; i < 700; ++i)
        {
            const auto note = 48 + (block + i) % 48;
            midi.addEvent (i % 2 == 0 ? juce::MidiMessage::noteOn (1 + i % 16, note, (juce::uint8) (1 + i % 127))
                                      : juce::MidiMessage::noteOff (1 + i % 16, note),
                           i % 512);
        }
        midi.addEvent (juce::MidiMessage::controllerEvent (1, 1, block % 128), 7);
        const juce::uint8 sysEx[32]{ 0x7d, 0x01, 0x02 }; // too long to be held without the heap
        midi.addEvent (juce::MidiMessage::createSysExMessage (sysEx, (int) sizeof (sysEx)), 9);

        const auto before = allocationCount.load();
        {
            const juce::ScopedLock lock (processor.getCallbackLock());
            countingAllocations = true;
            processor.processBlock (buffer, midi);
            countingAllocations = false;
        }
        if (block >= 20) // after the warm-up
            allocations += allocationCount.load() - before;

        // The editor's timers take the notes and repaint the knobs now and then, as the message thread would.
        if (block % 10 == 0)
            editor_testing::runFor (5);
    }

    EXPECT_EQ (allocations, 0);
    EXPECT_FALSE (keyboard.shown.empty());
    EXPECT_FALSE (std::isnan (filterPanel.sliders[1]->getModulationValue())) << "the Q knob was told its value";
    EXPECT_FALSE (std::isnan (globalPanel.sliders[0]->getModulationValue())) << "the Gain knob was told its value";
}

TEST (AudioThreadAllocation, MatrixCellsAutomatedInsideTheBlocksWhileTheMessageThreadBooksThemAllocateNothing)
{
    ProcessorHarness host;
    auto& processor = *host.processor;

    // The host's audio thread, never the message thread, which meanwhile books the cells and publishes the routes.
    std::atomic<bool> done{ false };
    std::atomic<long> allocations{ 0 };
    std::thread audio (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, 512);
            juce::MidiBuffer midi;
            midi.ensureSize (4096);
            AutomatedCells automation (processor);

            for (int block = 0; block < 320; ++block)
            {
                midi.clear();
                midi.addEvent (juce::MidiMessage::noteOn (1, 40 + block % 40, (juce::uint8) 100), block % 512);
                const auto before = allocationCount.load();
                countingAllocations = true;
                automation.automate (block);
                processor.processBlock (buffer, midi);
                countingAllocations = false;
                if (block >= 20) // after the warm-up
                    allocations += allocationCount.load() - before;
                juce::Thread::sleep (1);
            }
            done = true;
        });

    while (!done)
        editor_testing::runFor (5);
    audio.join();

    EXPECT_EQ (allocations.load(), 0);
    EXPECT_TRUE (testing_helpers::waitFor (
        [&]
        {
            const juce::ScopedLock lock (processor.routingLock);
            return processor.lfoSourcesInUse[(size_t) processor.parameterIndex.at ("Q")][1];
        },
        5000))
        << "the cells were booked";
}

// Hosts deliver automation inside their audio callback. With the whole editor open, every parameter changed there
// must reach its control without the audio thread posting a message (which locks the message queue and allocates).
TEST (AudioThreadAllocation, HostAutomationOnTheAudioThreadReachesTheOpenEditorWithoutAllocatingOrWriting)
{
    editor_testing::EditorHarness harness;
    auto& processor = harness.processor();
    const auto& parameters = processor.getParameters();
    ASSERT_GT (parameters.size(), 1000);
    editor_testing::runFor (50); // the message queue empty, as it is most of the time

    long allocations = 0;
    std::thread audioThread (
        [&]
        {
            juce::AudioBuffer<float> buffer (2, 512);
            juce::MidiBuffer midi;
            midi.ensureSize (4096);

            for (int block = 0; block < 20; ++block)
            {
                const auto before = allocationCount.load();
                countingAllocations = true;
                {
                    const juce::ScopedLock lock (processor.getCallbackLock());
                    for (auto* parameter : parameters)
                        parameter->setValueNotifyingHost ((float) ((block + parameter->getParameterIndex()) % 7)
                                                          / 6.0f);
                    processor.processBlock (buffer, midi);
                }
                countingAllocations = false;
                allocations += allocationCount.load() - before;
            }
        });
    audioThread.join(); // the message thread stays away meanwhile, as it may while a host is busy

    EXPECT_EQ (allocations, 0);

    // Then the message thread brings the controls up to the automated values (and books the 948 matrix cells, which
    // under a sanitizer on a busy machine takes longer than a fixed wait would allow).
    auto& gainKnob = *harness.editor().globalSynthPanel.sliders[0];
    const auto* gain = processor.valueTreeState.getParameter ("Gain");
    editor_testing::runUntil (
        [&] { return std::abs (gainKnob.getValue() - gain->convertFrom0to1 (gain->getValue())) < 1.0e-4; },
        5000);
    EXPECT_NEAR (gainKnob.getValue(), gain->convertFrom0to1 (gain->getValue()), 1.0e-4);
    EXPECT_EQ (harness.editor().midiGrid->grid.sliders[315]->getValue(), processor.midiMatrixConfigs[315].raw())
        << "a grid cell, the last one";
}

TEST (AudioThreadAllocation, TheCounterSeesAllocations)
{
    countingAllocations = true;
    const auto before = allocationCount.load();
    auto* p = new std::vector<int> (100);
    juce::HeapBlock<float> block (1000);
    const auto after = allocationCount.load();
    countingAllocations = false;
    delete p;

#if defined(__GLIBC__) && !defined(OSTREL_SANITIZER_OWNS_MALLOC)
    EXPECT_GE (after - before, 2);
#else
    EXPECT_GE (after - before, 1); // malloc is not counted here, only operator new
#endif
}
