// Figures of the editor's displays that need a real window: the message thread's load with the editor open and
// notes playing, how long a paint of the picture view holds the picture lock, and the time from dropping a large
// picture to the first paint that shows it transformed. The window goes on a private X server (Xvfb) of its own.
#include "GeneratedPictures.h"
#include "PrivateDisplay.h"
#include "ProcessorSupport.h"
#include "TemporaryHome.h"
#include "editor/PluginEditor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + (double) t.tv_nsec * 1.0e-9;
}

double millisecondsSince (Clock::time_point start)
{
    return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
}

double percentile (std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort (values.begin(), values.end());
    return values[(size_t) std::min ((double) values.size() - 1, p * (double) (values.size() - 1) + 0.5)];
}

juce::String writePicture (const juce::String& name, const juce::Image& picture)
{
    const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (name);
    file.deleteFile();
    juce::FileOutputStream out (file);
    juce::PNGImageFormat().writeImageToStream (picture, out);
    return file.getFullPathName();
}

/** Answers every question at once with one answer: the user who drops a picture and clicks at once. */
class AnsweringLauncher : public DialogLauncher
{
public:
    explicit AnsweringLauncher (int a) : answer (a) {}
    void askQuestion (juce::Component*, const Question&, std::function<void (int)> onResult) override
    {
        onResult (answer);
    }
    void askForText (juce::Component*, const TextEntry&, std::function<void (int, const juce::String&)>) override {}
    void showMessage (juce::Component*, const juce::String&, const juce::String&) override {}
    void dismissAll() override {}

private:
    int answer;
};

/** A see-through child over the picture view: it is painted right after the view, so it notes when the view was. */
struct PaintProbe : public juce::Component
{
    PaintProbe() { setInterceptsMouseClicks (false, false); }
    void paint (juce::Graphics&) override
    {
        if (onPaint)
            onPaint();
    }
    std::function<void()> onPaint;
};

/** Plays a chord in real time on its own thread, as a host's audio thread does. */
class Player
{
public:
    explicit Player (OstrelAudioProcessor& p) : processor (p)
    {
        thread = std::thread ([this] { run(); });
    }

    ~Player()
    {
        stop = true;
        thread.join();
    }

private:
    void run()
    {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        auto next = Clock::now();
        for (int block = 0; !stop; ++block)
        {
            midi.clear();
            if (block == 0)
                for (const auto note : { 48, 55, 60, 64 })
                    midi.addEvent (juce::MidiMessage::noteOn (1, note, (juce::uint8) 100), 0);
            {
                const juce::ScopedLock lock (processor.getCallbackLock());
                processor.processBlock (buffer, midi);
            }
            next += std::chrono::microseconds (10667);
            std::this_thread::sleep_until (next);
        }
    }

    OstrelAudioProcessor& processor;
    std::atomic<bool> stop{ false };
    std::thread thread;
};
} // namespace

int main()
{
    const TemporaryHome home ("ostrel-display-measurements");
    const PrivateDisplay display;
    if (!home.isValid() || !display.isRunning())
    {
        std::fprintf (stderr, "needs a temporary folder and Xvfb\n");
        return 2;
    }

    const juce::ScopedJuceInitialiser_GUI juce;
    auto processor = std::make_unique<OstrelAudioProcessor>();
    processor->setPlayConfigDetails (0, 2, 48000.0, 512);
    processor->prepareToPlay (48000.0, 512);

    const auto black = writePicture ("black.png", juce::Image (juce::Image::RGB, 512, 512, true));
    processor->loadFile (writePicture ("noise.png", picture_fixtures::noisePicture (512, 512, juce::Image::RGB, 11)),
                         false);

    std::unique_ptr<OstrelAudioProcessorEditor> editor (
        dynamic_cast<OstrelAudioProcessorEditor*> (processor->createEditorIfNeeded()));
    editor->setVisible (true);
    editor->addToDesktop (juce::ComponentPeer::windowAppearsOnTaskbar);
    auto& view = editor->waveFormGUI.parentTargetArea.targetArea;
    juce::MessageManager::getInstance()->runDispatchLoopUntil (500);

    std::printf ("Editor displays on a private X server (%s), 900 x 700, a four-note chord playing\n",
                 display.getName().c_str());

    {
        Player player (*processor);

        // The message thread's whole load: every timer, every paint, the X events.
        for (const auto circle : { 0.0f, 1.0f })
        {
            testing_helpers::setRaw (*processor, "TypeCircle", circle);
            testing_helpers::setRaw (*processor, "VeloShift", 0.2f);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
            const auto wallStart = Clock::now();
            const auto cpuStart = threadCpuSeconds();
            juce::MessageManager::getInstance()->runDispatchLoopUntil (5000);
            const auto cpu = threadCpuSeconds() - cpuStart;
            const auto wall = millisecondsSince (wallStart) / 1000.0;
            std::printf ("  message thread, %s mode: %.1f %% of one core\n",
                         circle == 0.0f ? "line" : "circle",
                         100.0 * cpu / wall);
        }

        // How long each paint of the picture view holds the picture lock: a probe thread watches the lock while the
        // image thread is held back, so that every hold it sees is a paint's.
        processor->imageUpdateWanted = false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
        std::vector<double> holds;
        std::atomic<bool> watching{ true };
        std::thread watcher (
            [&]
            {
                bool held = false;
                auto since = Clock::now();
                while (watching)
                {
                    if (spinCriticalSection.tryEnter())
                    {
                        spinCriticalSection.exit();
                        if (held)
                            holds.push_back (millisecondsSince (since));
                        held = false;
                    }
                    else if (!held)
                    {
                        held = true;
                        since = Clock::now();
                    }
                }
            });
        juce::MessageManager::getInstance()->runDispatchLoopUntil (3000);
        watching = false;
        watcher.join();
        processor->imageUpdateWanted = true;
        std::printf ("  picture view, circle mode: picture lock held %.3f ms per paint (median; 95 %% %.3f ms, "
                     "%d paints)\n",
                     percentile (holds, 0.5),
                     percentile (holds, 0.95),
                     (int) holds.size());

        // From the drop of a 4096 x 4096 PNG to the first paint of the view that shows it through the transform.
        testing_helpers::setRaw (*processor, "Left-Right", 0.5f); // the transformed picture's left half is black
        const auto large =
            writePicture ("large.png", picture_fixtures::noisePicture (4096, 4096, juce::Image::RGB, 11));
        std::printf ("  4096 x 4096 PNG of %.1f MB\n", (double) juce::File (large).getSize() / 1.0e6);
        editor->setDialogLauncher (std::make_unique<AnsweringLauncher> (TargetArea::no));
        PaintProbe probe;
        view.addAndMakeVisible (probe);
        probe.setBounds (view.getLocalBounds());

        std::vector<double> loads, firstShown;
        for (int round = 0; round < 5; ++round)
        {
            processor->loadFile (black, false);
            juce::MessageManager::getInstance()->runDispatchLoopUntil (300);

            std::atomic<double> shownAt{ -1.0 };
            const auto start = Clock::now();
            probe.onPaint = [&]
            {
                if (shownAt < 0.0 && processor->imageGrid[400 * 512 + 256].load() != 0.0f)
                    shownAt = millisecondsSince (start);
            };
            view.filesDropped ({ large }, 0, 0);
            loads.push_back (millisecondsSince (start));
            while (shownAt < 0.0 && millisecondsSince (start) < 5000.0)
                juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
            probe.onPaint = nullptr;

            // A picture never shown is a failure, not a figure.
            if (shownAt < 0.0)
            {
                std::fprintf (stderr, "The dropped picture was not shown within 5 s.\n");
                std::exit (1);
            }

            firstShown.push_back (shownAt);
        }
        view.removeChildComponent (&probe);
        std::printf ("  drop of the 4096 x 4096 PNG: loaded after %.0f ms, first shown transformed after %.0f ms "
                     "(medians of 5; slowest %.0f ms)\n",
                     percentile (loads, 0.5),
                     percentile (firstShown, 0.5),
                     percentile (firstShown, 1.0));
    }

    editor.reset();
    processor.reset();
    return 0;
}
