#pragma once

#include "CustomHorizontalSlider.h"
#include "editor/controls/ParameterAttachments.h"
#include "processor/PluginProcessor.h"
#include "threads/MessageThreadRequest.h"

/** One cell of a modulation grid: where it lies, and the target's ID in the name column (empty in the others). */
struct GridCell
{
    juce::Rectangle<int> bounds;
    juce::String text;
};

/** The scrolling cell area of a modulation grid: a row per target, the target's name, then a cell per source of the
    group, each a bipolar slider bound to its matrix parameter with its value written over it. A changed cell is
    booked with the processor; the row of a target picked for modulation is marked. */
class GridComponent : public juce::Component, public juce::Slider::Listener, public MySliderChangeListener
{
public:
    GridComponent (OstrelAudioProcessor& processor,
                   const juce::StringArray& sourceNames,
                   const juce::StringArray& targetIds,
                   ModType modType);
    ~GridComponent() override;

    void paint (juce::Graphics&) override;
    void resized() override;
    /** Marks the picked target's row; the container's repaint shows it. [message thread] */
    void sliderIndexChanged (int row) override;
    /** Shows a cell's new value and books it. [message thread] */
    void sliderValueChanged (juce::Slider* slider) override;

    /** Text colour of a non-zero value. */
    juce::Colour activeColour = juce::Colours::lightgreen;
    ModType modType;
    int selectedRow = 0;
    OstrelAudioProcessor* processor;
    /** Row-major: the name column, then the source columns. */
    juce::Array<GridCell> cells;
    /** Cell (row, source column) is element row * 4 + column, here and in the two arrays below. */
    juce::OwnedArray<CustomHorizontalSlider> sliders;
    juce::OwnedArray<juce::Label> valueLabels;
    int numColumns = 5;
    /** Four whatever the number of source names. */
    int numSources = 4;
    juce::StringArray targets;
    juce::StringArray sources;
    juce::OwnedArray<SliderAttachment> attachments;
    int rowHeight = 30;

private:
    /** Whether each value label shows a non-zero value now: its colour is only set when that changes, since
        setting a colour costs a name look-up, and a host may set hundreds of cells at once. */
    std::vector<bool> labelShowsNonZero;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GridComponent)
};

/** One modulation grid (LFOs, envelopes or MIDI sources): the source headers, lit while their source is in use
    anywhere in the group, over the scrolling cell area, which scrolls to a target picked for modulation. */
class GridContainerComponent : public juce::Component,
                               public MySliderChangeListener,
                               public MyModulationSelectChangeListener
{
public:
    GridContainerComponent (OstrelAudioProcessor& processor,
                            const juce::StringArray& sourceNames,
                            const juce::StringArray& targetIds,
                            ModType modType);
    ~GridContainerComponent() override;

    /** Places the headers and the cells and colours the headers by the processor's routes. [message thread] */
    void resized() override;
    /** Lays the grid out again, so that the headers follow the routes. Hosts restore state and change programs on
        threads of their own, which route the matrices and so call this: there the layout is handed over to the
        message thread without waiting for it. [any thread but the audio thread] */
    void modulationIndexChanged (int sourceIndex) override;
    /** Scrolls the picked target's row into view, one row below the top. [message thread] */
    void sliderIndexChanged (int row) override;

    OstrelAudioProcessor* processor;
    GridComponent grid;
    std::unique_ptr<juce::Viewport> viewport;
    /** "Name", then one per source. */
    juce::OwnedArray<juce::Label> headers;
    ModType modType;

private:
    /** Whether each source column of the group is booked non-zero on any target. [message thread] */
    std::array<bool, numModulationSources> sourcesInUse() const;

    /** Whether each source header is lit now; its colour is only set when that changes. */
    std::array<bool, numModulationSources> headerLit{};
    MessageThreadRequest layoutRequest{ [this] (int) { resized(); } };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GridContainerComponent)
};
