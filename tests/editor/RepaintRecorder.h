#pragma once

#include <JuceHeader.h>

namespace editor_testing
{
/** Counts the repaints a component asks for, off screen as on screen: the framework tells a component's cached
    image of every repaint before anything else. Paints nothing itself; remove it before painting. */
class RepaintRecorder : public juce::CachedComponentImage
{
public:
    /** Installs a recorder on component, which owns it from then on. */
    static RepaintRecorder& install (juce::Component& component)
    {
        auto* recorder = new RepaintRecorder();
        component.setCachedComponentImage (recorder);
        recorder->repaints = 0; // installing it repaints once
        return *recorder;
    }

    static void remove (juce::Component& component) { component.setCachedComponentImage (nullptr); }

    void paint (juce::Graphics&) override {}
    bool invalidateAll() override { return ++repaints > 0; }
    bool invalidate (const juce::Rectangle<int>&) override { return ++repaints > 0; }
    void releaseResources() override {}

    int repaints = 0;
};
} // namespace editor_testing
