#include "ProcessorHarness.h"

#include <atomic>
#include <thread>

using namespace block_testing;

namespace
{
struct CountingListener : public ModulationListener
{
    void setModulationValue (float) override { calls.fetch_add (1, std::memory_order_relaxed); }
    std::atomic<int> calls{ 0 };
};
} // namespace

// The audio thread renders while an editor-like thread polls the display feeds, plays keys and changes the
// routes and listeners, as the message thread does. Meant to run under ThreadSanitizer as well.
TEST (BlockConcurrency, DisplayFeedsRoutesAndKeysMeetTheAudioThreadWithoutRaces)
{
    ProcessorHarness host;
    auto& processor = *host.processor;
    useSecondOscillatorOnly (host, 1);
    const auto decay = processor.parameterIndex.at ("Decay");
    const auto freq = processor.parameterIndex.at ("Freq");

    CountingListener listener;
    std::atomic<bool> audioDone{ false };
    int spectrumBlocksTaken = 0;
    bool allFinite = true;

    std::thread editor (
        [&]
        {
            std::vector<float> scope (OstrelAudioProcessor::scopeSize), wave (OstrelAudioProcessor::wavetableSize);
            std::vector<float> spectrum (2 * OstrelAudioProcessor::fftSize);

            for (int round = 0; !audioDone.load(); ++round)
            {
                processor.scopeBuffer.read (scope.data());
                processor.waveDisplayBuffer.read (wave.data());

                if (processor.spectrumBlockReady.load (std::memory_order_acquire))
                {
                    std::copy (processor.spectrumFftData,
                               processor.spectrumFftData + spectrum.size(),
                               spectrum.begin());
                    processor.spectrumBlockReady.store (false, std::memory_order_release);
                    ++spectrumBlocksTaken;

                    for (auto value : spectrum)
                        allFinite = allFinite && std::isfinite (value);
                }

                {
                    const juce::ScopedLock lock (processor.keyboardMidiLock);
                    processor.keyboardMidiBuffer.addEvent (
                        juce::MidiMessage::noteOn (1, 60 + round % 24, (juce::uint8) 127),
                        0);
                }

                auto& routes = processor.publishedRoutes.back();
                routes = {};
                routes.numMidiRoutes[decay] = 1;
                routes.midiRoutes[decay][0] = { (float) (round % 3) * 0.1f, 0 };
                if (round % 2 == 0)
                    routes.modulatedTargets[routes.numModulatedTargets++] = freq;
                processor.publishedRoutes.publish();

                {
                    const juce::SpinLock::ScopedLockType lock (processor.modulationListenersLock);
                    processor.listenerForTarget[decay] = round % 4 == 0 ? nullptr : &listener;
                    processor.listenerForTarget[freq] = round % 3 == 0 ? nullptr : &listener;
                }

                std::this_thread::sleep_for (std::chrono::microseconds (200));
            }
        });

    for (int block = 0; block < 400; ++block)
        host.process (512,
                      { noteOn (block % 512, 40 + block % 30), noteOff ((block * 7) % 512, 40 + (block + 15) % 30) });

    audioDone.store (true);
    editor.join();

    EXPECT_GT (spectrumBlocksTaken, 0);
    EXPECT_TRUE (allFinite);
    EXPECT_GT (listener.calls.load(), 0);
}
