#include "OpenEditor.h"
#include "editor/panels/LFOPanels.h"

#include <benchmark/benchmark.h>

using namespace editor_benchmarks;

// The envelope drawing repaints on every knob move, automation included.
static void BM_PaintEnvelopeDrawing (benchmark::State& state)
{
    OpenEditor open;
    open.setRaw ("Attack", 30.0f);
    paintRepeatedly (state, open.editor->adsrVoicePanel.drawingArea);
}
BENCHMARK (BM_PaintEnvelopeDrawing)->Unit (benchmark::kMicrosecond);

// The response is computed anew for every column on every paint.
static void BM_PaintFrequencyResponse (benchmark::State& state)
{
    OpenEditor open;
    open.setRaw ("Freq", 1000.0f);
    open.setRaw ("Q", 0.9f);
    open.setRaw ("Type", 2.0f);
    paintRepeatedly (state, open.editor->filterPanel.responseView);
}
BENCHMARK (BM_PaintFrequencyResponse)->Unit (benchmark::kMicrosecond);

// The LFO preview by shape: 0 Sine .. 4 Random.
static void BM_PaintLfoPreview (benchmark::State& state)
{
    OpenEditor open;
    open.setRaw ("LFOType1", (float) state.range (0));
    open.setRaw ("LFOAmount1", 1.0f);
    open.setRaw ("LFOOffset1", -0.3f);
    auto& page = dynamic_cast<LFOGUI&> (*open.editor->sourceTabs->getTabContentComponent (0));
    paintRepeatedly (state, *page.lfoView);
}
BENCHMARK (BM_PaintLfoPreview)->DenseRange (0, 4)->Unit (benchmark::kMicrosecond);
