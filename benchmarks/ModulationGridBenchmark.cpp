#include "OpenEditor.h"
#include "editor/controls/ParameterAttachments.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

using editor_benchmarks::deliverPostedMessages;
using editor_benchmarks::preparedProcessor;

namespace
{
/** A state with 100 routes: every matrix, every source column, spread over the targets. */
juce::MemoryBlock stateWithHundredRoutes()
{
    OstrelAudioProcessor source;
    const ParameterGroup* matrices[] = { &source.lfoMatrixConfigs,
                                         &source.envMatrixConfigs,
                                         &source.midiMatrixConfigs };

    for (int n = 0; n < 100; ++n)
    {
        const auto& cell = (*matrices[n % 3])[(size_t) ((n * 37) % numMatrixCells)];
        auto* parameter = source.valueTreeState.getParameter (cell.paramID);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (n % 2 == 0 ? 0.5f : -0.25f));
    }

    juce::MemoryBlock state;
    source.getStateInformation (state);
    return state;
}

/** Whether every header of the three grids shows whether its source is in use, by the matrix parameters. */
bool headersSettled (OstrelAudioProcessorEditor& editor, OstrelAudioProcessor& processor)
{
    const std::pair<GridContainerComponent*, const ParameterGroup*> grids[] = {
        { editor.lfoGrid.get(), &processor.lfoMatrixConfigs },
        { editor.envGrid.get(), &processor.envMatrixConfigs },
        { editor.midiGrid.get(), &processor.midiMatrixConfigs },
    };

    for (const auto& [grid, matrix] : grids)
    {
        bool inUse[numModulationSources]{};
        for (int k = 0; k < numMatrixCells; ++k)
            inUse[k % 4] = inUse[k % 4] || (*matrix)[(size_t) k].raw() != 0.0f;

        for (int k = 0; k < numModulationSources; ++k)
            if (grid->headers[k + 1]->findColour (juce::Label::textColourId)
                != (inUse[k] ? juce::Colours::greenyellow : juce::Colours::lightgrey))
                return false;
    }

    return true;
}
} // namespace

// What the user waits for when opening the window: construction only, the three grids' 948 bound cells included.
static void BM_OpenEditorWithGrids (benchmark::State& state)
{
    const auto processor = preparedProcessor();

    for (auto _ : state)
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
        benchmark::DoNotOptimize (editor.get());

        state.PauseTiming();
        editor.reset();
        deliverPostedMessages();
        state.ResumeTiming();
    }
}
BENCHMARK (BM_OpenEditorWithGrids)->Unit (benchmark::kMillisecond);

// One grid alone: 79 rows of four bound cells with their value labels, built and laid out in its window cell.
static void BM_BuildAndDestroyOneGrid (benchmark::State& state)
{
    const auto processor = preparedProcessor();

    for (auto _ : state)
    {
        GridContainerComponent grid (*processor,
                                     processor->lfoSourceNames,
                                     processor->modulationTargetIds,
                                     ModType::LFO);
        grid.setSize (288, 162);
        benchmark::DoNotOptimize (&grid);

        state.PauseTiming();
        deliverPostedMessages();
        state.ResumeTiming();
    }
}
BENCHMARK (BM_BuildAndDestroyOneGrid)->Unit (benchmark::kMillisecond);

// From a restore that brings 100 routes (and, every other time, takes them away again) to the grids' headers showing
// them, with the message thread's booking of the changed cells done: the restore on the message thread (0) or on a
// host thread of its own (1), whose header layout the message thread then runs. The job's timer tick, up to 50 ms
// later in real time, is not waited for: its work is run at once.
static void BM_RestoreHundredRoutesToSettledHeaders (benchmark::State& state)
{
    const auto processor = preparedProcessor();
    const std::unique_ptr<OstrelAudioProcessorEditor> editor (
        dynamic_cast<OstrelAudioProcessorEditor*> (processor->createEditorIfNeeded()));
    const juce::MemoryBlock states[] = { stateWithHundredRoutes(),
                                         [&]
                                         {
                                             OstrelAudioProcessor plain;
                                             juce::MemoryBlock block;
                                             plain.getStateInformation (block);
                                             return block;
                                         }() };
    const auto onHostThread = state.range (0) == 1;
    int next = 0;

    for (auto _ : state)
    {
        const auto& blob = states[next];
        next = 1 - next;
        const auto start = std::chrono::steady_clock::now();

        if (onHostThread)
        {
            std::thread host ([&] { processor->setStateInformation (blob.getData(), (int) blob.getSize()); });
            host.join();
        }
        else
        {
            processor->setStateInformation (blob.getData(), (int) blob.getSize());
        }

        processor->messageThreadJobs.runMarkedJobs();
        while (!headersSettled (*editor, *processor))
            juce::MessageManager::getInstance()->runDispatchLoopUntil (0);

        state.SetIterationTime (std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count());

        // What the restore posted for the sliders is not part of the figure, but must not pile up.
        state.PauseTiming();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
        state.ResumeTiming();
    }
}
BENCHMARK (BM_RestoreHundredRoutesToSettledHeaders)->Arg (0)->Arg (1)->UseManualTime()->Unit (benchmark::kMillisecond);

// A host that sets every matrix cell at once on its audio thread (a randomise, a preset of its own): the message
// thread's work until the window's controls and the route tables follow, one poll of the controls and the booking
// job. Every other time the cells go back to 0.
static void BM_EveryMatrixCellAutomatedWithTheWindowOpen (benchmark::State& state)
{
    const auto processor = preparedProcessor();
    const std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
    const juce::SharedResourcePointer<ParameterLink::Poller> poller;
    const ParameterGroup* matrices[] = { &processor->lfoMatrixConfigs,
                                         &processor->envMatrixConfigs,
                                         &processor->midiMatrixConfigs };
    bool routed = false;

    for (auto _ : state)
    {
        routed = !routed;
        std::thread audio (
            [&]
            {
                for (const auto* matrix : matrices)
                    for (const auto& cell : *matrix)
                        processor->valueTreeState.getParameter (cell.paramID)
                            ->setValueNotifyingHost (routed ? 0.75f : 0.5f);
            });
        audio.join();

        const auto start = std::chrono::steady_clock::now();
        poller->pollAll();
        processor->messageThreadJobs.runMarkedJobs();
        state.SetIterationTime (std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK (BM_EveryMatrixCellAutomatedWithTheWindowOpen)->UseManualTime()->Unit (benchmark::kMillisecond);
