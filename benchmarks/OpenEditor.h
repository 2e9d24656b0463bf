#pragma once

// What the editor's benchmarks share: the plug-in as a host shows it, and a paint timed over and over.

#include "ProcessorSupport.h"
#include "editor/PluginEditor.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <vector>

namespace editor_benchmarks
{
/** A prepared processor, as a host holds it when the user opens the window. */
inline std::unique_ptr<OstrelAudioProcessor> preparedProcessor()
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    processor->setPlayConfigDetails (0, 2, 48000.0, 512);
    processor->prepareToPlay (48000.0, 512);
    return processor;
}

/** Runs the message loop until everything posted so far has been delivered. An editor posts work for its controls
    when it opens; a benchmark that opens it thousands of times without a message loop would pile that up, and the
    framework's queue then takes longer over every later delivery, so that the next benchmark waits for minutes. */
inline void deliverPostedMessages()
{
    std::atomic<bool> delivered{ false };
    juce::MessageManager::callAsync ([&delivered] { delivered = true; });

    while (!delivered)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
}

/** A prepared processor with its editor open, as a host shows it. */
struct OpenEditor
{
    OpenEditor() { editor.reset (dynamic_cast<OstrelAudioProcessorEditor*> (processor->createEditorIfNeeded())); }

    ~OpenEditor()
    {
        editor.reset();
        for (const auto& file : files)
            file.deleteRecursively();
    }

    /** Sets a parameter to a raw value, as a host's automation does. */
    void setRaw (const juce::String& paramID, float raw) { testing_helpers::setRaw (*processor, paramID, raw); }

    /** A file in the benchmark's temporary HOME holding the picture as PNG, removed with the editor. */
    juce::String writePicture (const juce::String& name, const juce::Image& picture)
    {
        const auto file = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (name);
        juce::FileOutputStream out (file);
        out.setPosition (0);
        out.truncate();
        juce::PNGImageFormat().writeImageToStream (picture, out);
        files.push_back (file);
        return file.getFullPathName();
    }

    /** One block, so that the current values the views read follow the parameters. */
    void process()
    {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        const juce::ScopedLock lock (processor->getCallbackLock());
        processor->processBlock (buffer, midi);
    }

    std::unique_ptr<OstrelAudioProcessor> processor = preparedProcessor();
    std::unique_ptr<OstrelAudioProcessorEditor> editor;
    std::vector<juce::File> files;
};

/** One paint of component at its editor size into an image of its own, per iteration. */
inline void paintRepeatedly (benchmark::State& state, juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    for (auto _ : state)
    {
        juce::Graphics g (image);
        component.paintEntireComponent (g, false);
        benchmark::DoNotOptimize (image.getPixelData());
    }
    state.SetLabel ((juce::String (component.getWidth()) + " x " + juce::String (component.getHeight())).toStdString());
}
} // namespace editor_benchmarks
