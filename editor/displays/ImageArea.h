#pragma once

#include "editor/controls/DialogLauncher.h"
#include "processor/PluginProcessor.h"

/** The picture view: takes dropped picture files, shows the picture as the processor reads it (after the picture
    transform) and, over it, where the voices scan: a line in line mode, a circle with moving arrows in circle
    mode. Message thread only. */
class TargetArea : public juce::Component, public juce::FileDragAndDropTarget
{
public:
    explicit TargetArea (OstrelAudioProcessor& processor);
    ~TargetArea() override = default;

    /** A left click or drag only repaints; nothing else is done with the mouse. */
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override {}
    void mouseDoubleClick (const juce::MouseEvent&) override {}
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override {}
    void paint (juce::Graphics&) override;

    /** True when at least one path names a picture file by its name (see isPictureFileName). */
    bool isInterestedInFileDrag (const juce::StringArray& files) override;
    /** Asks, for each picture file of the drop in turn, whether to init all parameters; the answer loads it
        (see answerDrop). The drop position is ignored. */
    void filesDropped (const juce::StringArray& files, int x, int y) override;

    /** True when path contains ".jpg", ".jpeg", ".png", ".bmp" or ".gif" anywhere, in any case. */
    static bool isPictureFileName (const juce::String& path);

    /** The dialog's question and its answers. */
    static DialogLauncher::Question dropQuestion();
    enum Answer
    {
        cancel = 0,
        yes = 1,
        no = 2
    };

    /** What the user is told when a dropped file could not be read as a picture. */
    static inline const juce::String unreadableTitle{ "Picture not loaded" };
    static juce::String unreadableMessage (const juce::String& path);

    /** The animation counter of the circle-mode arrows, kept within their 64-step cycle. */
    float arrowPhase = 0.0f;

private:
    /** Yes sets every parameter to its default and loads the picture, No only loads it, Cancel does nothing. A file
        that does not decode changes nothing, and the user is told so. */
    void answerDrop (const juce::String& path, int answer);

    void paintLineOverlay (juce::Graphics&, int w, int h);
    void paintCircleOverlay (juce::Graphics&, int w, int h);

    OstrelAudioProcessor& processor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TargetArea)
};
