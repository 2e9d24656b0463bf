#include "editor/PluginEditor.h"

#include <benchmark/benchmark.h>

namespace
{
constexpr int numPresets = 200;

/** A presets file of numPresets full presets ("Preset 1" ..), as a user's grows. */
void writePresetsFile (OstrelAudioProcessor& processor)
{
    juce::Array<juce::var> presets;
    for (int i = 1; i <= numPresets; ++i)
    {
        auto* preset = new juce::DynamicObject();
        preset->setProperty ("PresetName", "Preset " + juce::String (i));
        for (auto* group : processor.allConfigs)
            for (const auto& config : *group)
                preset->setProperty (config.paramID, (double) config.raw() + 0.001 * i);
        presets.add (juce::var (preset));
    }

    auto* root = new juce::DynamicObject();
    root->setProperty (pluginPresetFileCheckName, presets);
    const juce::File file (processor.getFilePath (pluginPresetFileCheckName));
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    juce::FileOutputStream stream (file);
    stream.writeString (juce::JSON::toString (juce::var (root), true, 15));
}

/** The window open over a processor that read the 200 presets. */
struct OpenEditorWithPresets
{
    OpenEditorWithPresets()
    {
        {
            OstrelAudioProcessor writer;
            writePresetsFile (writer);
        }
        processor = std::make_unique<OstrelAudioProcessor>();
        processor->setPlayConfigDetails (0, 2, 48000.0, 512);
        processor->prepareToPlay (48000.0, 512);
        editor.reset (dynamic_cast<OstrelAudioProcessorEditor*> (processor->createEditorIfNeeded()));
    }

    ~OpenEditorWithPresets()
    {
        editor.reset();
        processor.reset();
        juce::File (juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getChildFile ("Ostrel"))
            .getChildFile (pluginPresetFileCheckName)
            .deleteFile();
    }

    std::unique_ptr<OstrelAudioProcessor> processor;
    std::unique_ptr<OstrelAudioProcessorEditor> editor;
};
} // namespace

// Save of the presets bar once its name dialog is answered: the preset replaces one of 200 and the whole file is
// rewritten on the message thread, then the box is refilled.
static void BM_SavePresetInto200 (benchmark::State& state)
{
    OpenEditorWithPresets open;
    auto& processor = *open.processor;

    for (auto _ : state)
    {
        const auto written = processor.savePreset (processor.makeProgramFromCurrentSettings ("Preset 100"));
        open.editor->presetsBar.refreshPresetList();
        benchmark::DoNotOptimize (written.written);
    }
    state.SetLabel (
        juce::String (juce::File (processor.getFilePath (pluginPresetFileCheckName)).getSize() / 1024).toStdString()
        + " KiB file");
}
BENCHMARK (BM_SavePresetInto200)->Unit (benchmark::kMillisecond);

// Delete of the presets bar once confirmed: one of 200 goes and the whole file is rewritten, then the box is refilled.
// The preset is put back at the end between iterations, untimed.
static void BM_DeletePresetOf200 (benchmark::State& state)
{
    OpenEditorWithPresets open;
    auto& processor = *open.processor;

    for (auto _ : state)
    {
        const auto program = processor.programs[100];
        const auto written = processor.deletePreset (100);
        open.editor->presetsBar.refreshPresetList();
        benchmark::DoNotOptimize (written.written);

        state.PauseTiming();
        processor.savePreset (program);
        state.ResumeTiming();
    }
}
BENCHMARK (BM_DeletePresetOf200)->Unit (benchmark::kMillisecond);
