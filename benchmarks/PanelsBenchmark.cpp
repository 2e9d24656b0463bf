#include "ProcessorSupport.h"
#include "editor/PluginEditor.h"
#include "editor/panels/LFOPanels.h"

#include <benchmark/benchmark.h>

namespace
{
/** A prepared processor with its editor open, as a host shows it. */
struct OpenEditor
{
    OpenEditor()
    {
        processor->setPlayConfigDetails (0, 2, 48000.0, 512);
        processor->prepareToPlay (48000.0, 512);
        editor.reset (dynamic_cast<OstrelAudioProcessorEditor*> (processor->createEditorIfNeeded()));
    }

    std::unique_ptr<OstrelAudioProcessor> processor = std::make_unique<OstrelAudioProcessor>();
    std::unique_ptr<OstrelAudioProcessorEditor> editor;
};

/** One paint of component at its editor size into an image of its own. */
void paintRepeatedly (benchmark::State& state, juce::Component& component)
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
} // namespace

// The envelope drawing repaints on every knob move, automation included.
static void BM_PaintEnvelopeDrawing (benchmark::State& state)
{
    OpenEditor open;
    testing_helpers::setRaw (*open.processor, "Attack", 30.0f);
    paintRepeatedly (state, open.editor->adsrVoicePanel.drawingArea);
}
BENCHMARK (BM_PaintEnvelopeDrawing)->Unit (benchmark::kMicrosecond);

// The response is computed anew for every column on every paint.
static void BM_PaintFrequencyResponse (benchmark::State& state)
{
    OpenEditor open;
    testing_helpers::setRaw (*open.processor, "Freq", 1000.0f);
    testing_helpers::setRaw (*open.processor, "Q", 0.9f);
    testing_helpers::setRaw (*open.processor, "Type", 2.0f);
    paintRepeatedly (state, open.editor->filterPanel.responseView);
}
BENCHMARK (BM_PaintFrequencyResponse)->Unit (benchmark::kMicrosecond);

// The LFO preview by shape: 0 Sine .. 4 Random.
static void BM_PaintLfoPreview (benchmark::State& state)
{
    OpenEditor open;
    testing_helpers::setRaw (*open.processor, "LFOType1", (float) state.range (0));
    testing_helpers::setRaw (*open.processor, "LFOAmount1", 1.0f);
    testing_helpers::setRaw (*open.processor, "LFOOffset1", -0.3f);
    auto& page = dynamic_cast<LFOGUI&> (*open.editor->sourceTabs->getTabContentComponent (0));
    paintRepeatedly (state, *page.lfoView);
}
BENCHMARK (BM_PaintLfoPreview)->DenseRange (0, 4)->Unit (benchmark::kMicrosecond);
