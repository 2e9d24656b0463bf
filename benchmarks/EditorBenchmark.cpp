#include "OpenEditor.h"
#include "editor/panels/GlobalPanelClass.h"

#include <benchmark/benchmark.h>

using editor_benchmarks::deliverPostedMessages;
using editor_benchmarks::preparedProcessor;

// A host opens the editor on its main thread: this is how long the user waits for the window.
static void BM_OpenAndCloseEditor (benchmark::State& state)
{
    const auto processor = preparedProcessor();

    for (auto _ : state)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
        benchmark::DoNotOptimize (editor.get());
        editor.reset();

        state.PauseTiming();
        deliverPostedMessages();
        state.ResumeTiming();
    }
}
BENCHMARK (BM_OpenAndCloseEditor)->Unit (benchmark::kMillisecond);

// One paint of the whole window, off screen.
static void BM_PaintEditor (benchmark::State& state)
{
    const auto processor = preparedProcessor();
    const std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());

    for (auto _ : state)
    {
        auto image = editor->createComponentSnapshot (editor->getLocalBounds(), true, 1.0f);
        benchmark::DoNotOptimize (image.getPixelData());
    }
}
BENCHMARK (BM_PaintEditor)->Unit (benchmark::kMillisecond);

// The window and, on top of its own panels and grids, a panel of bound controls over every parameter group, the
// matrices' 948 cells included: an opening that binds a control to every parameter besides what the window binds.
static void BM_OpenAndCloseEditorWithEveryParameterBound (benchmark::State& state)
{
    const auto processor = preparedProcessor();

    for (auto _ : state)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
        std::vector<std::unique_ptr<GlobalPanelClass>> panels;
        for (auto* group : processor->allConfigs)
            panels.push_back (std::make_unique<GlobalPanelClass> (*processor, *group));
        for (auto& panel : panels)
            editor->addAndMakeVisible (*panel);

        benchmark::DoNotOptimize (panels.data());
        panels.clear();
        editor.reset();

        state.PauseTiming();
        deliverPostedMessages();
        state.ResumeTiming();
    }
}
BENCHMARK (BM_OpenAndCloseEditorWithEveryParameterBound)->Unit (benchmark::kMillisecond);
