#include "Modulations.h"

#include "editor/PanelColours.h"

namespace
{
constexpr int headerHeight = 30;

juce::String valueText (double value) { return juce::String (value, 2); }
} // namespace

//==============================================================================
GridComponent::GridComponent (OstrelAudioProcessor& p,
                              const juce::StringArray& sourceNames,
                              const juce::StringArray& targetIds,
                              ModType type) :
    modType (type), processor (&p), targets (targetIds), sources (sourceNames)
{
    setMouseCursor (juce::MouseCursor::PointingHandCursor);

    // The real positions come with the first layout; until then every column is 0 wide.
    const auto colW = getWidth() / numColumns;
    cells.ensureStorageAllocated (targets.size() * numColumns);
    sliders.ensureStorageAllocated (targets.size() * numSources);
    valueLabels.ensureStorageAllocated (targets.size() * numSources);
    attachments.ensureStorageAllocated (targets.size() * numSources);
    labelShowsNonZero.reserve ((size_t) (targets.size() * numSources));

    for (int i = 0; i < targets.size(); ++i)
    {
        for (int j = 0; j < numColumns; ++j)
            cells.add ({ { j * colW, i * rowHeight, colW, rowHeight }, j == 0 ? targets[i] : juce::String() });

        for (int j = 1; j < numColumns; ++j)
        {
            auto* slider = sliders.add (new CustomHorizontalSlider());
            slider->setSliderStyle (juce::Slider::LinearHorizontal);
            slider->setTextBoxStyle (juce::Slider::NoTextBox, true, 0, 0);
            slider->setRange (-1.0, 1.0, 0.01);
            slider->setValue (0.0, juce::dontSendNotification);
            slider->setDoubleClickReturnValue (true, 0.0);
            addAndMakeVisible (slider);

            attachments.add (
                new SliderAttachment (p.valueTreeState, createParamIDforMatrix (sources[j - 1], targets[i]), *slider));

            // Over the slider, but the slider takes the clicks.
            auto* label = valueLabels.add (new juce::Label());
            label->setFont (juce::Font (12.0f));
            const auto value = slider->getValue();
            label->setText (valueText (value), juce::dontSendNotification);
            label->setColour (juce::Label::textColourId, value != 0.0 ? activeColour : juce::Colours::grey);
            labelShowsNonZero.push_back (value != 0.0);
            label->setJustificationType (juce::Justification::centred);
            label->setInterceptsMouseClicks (false, false);
            addAndMakeVisible (label);

            slider->addListener (this);
        }
    }

    p.addSliderChangeListener (this);
}

GridComponent::~GridComponent()
{
    processor->removeSliderChangeListener (this);

    for (auto* slider : sliders)
        slider->removeListener (this);
}

void GridComponent::paint (juce::Graphics& g)
{
    g.fillAll (panelColours[0]);

    // Only the rows in view are drawn; the grid is far taller than its viewport.
    const auto clip = g.getClipBounds();

    for (int i = 0; i < cells.size(); ++i)
    {
        const auto& cell = cells.getReference (i);
        if (!cell.bounds.intersects (clip))
            continue;

        const auto row = i / numColumns;
        const auto column = i % numColumns;

        g.setColour (juce::Colours::darkgrey.withAlpha ((juce::uint8) (row % 2 == 1 ? 0x4c : 0x1a)));
        g.fillRect (cell.bounds);

        if (column == 1 && row == selectedRow)
        {
            g.setColour (juce::Colours::turquoise.withAlpha ((juce::uint8) 0xe6));
            g.drawRect (cell.bounds.getX() + 2, cell.bounds.getY(), 2, rowHeight, 1);
        }
        else if (column == 0)
        {
            g.setColour (row == selectedRow ? juce::Colours::lightgreen : juce::Colours::lightgrey);
            g.drawFittedText (cell.text, cell.bounds, juce::Justification::centred, 1);
        }
    }
}

void GridComponent::resized()
{
    const auto colW = getWidth() / numColumns;
    const auto sliderW = juce::jmax (colW, 8) - 8;
    const auto sliderH = juce::jmax (rowHeight, 8) - 8;

    for (int i = 0; i < targets.size(); ++i)
    {
        const auto y = i * rowHeight;

        for (int j = 0; j < numColumns; ++j)
        {
            const auto x = j * colW;
            cells.getReference (i * numColumns + j).bounds = { x, y, colW, rowHeight };

            if (j == 0)
                continue;

            const auto index = i * numSources + j - 1;
            sliders[index]->setBounds (x + 4, y + 4, sliderW, sliderH);
            valueLabels[index]->setBounds (x + (colW - 50) / 2, y + (rowHeight - 20) / 3, 50, 20);
        }
    }
}

void GridComponent::sliderIndexChanged (int row) { selectedRow = row; }

void GridComponent::sliderValueChanged (juce::Slider* slider)
{
    const auto index = sliders.indexOf (dynamic_cast<CustomHorizontalSlider*> (slider));
    if (index < 0)
        return;

    const auto value = slider->getValue();
    auto* label = valueLabels[index];
    label->setText (valueText (value), juce::dontSendNotification);

    if (const auto nonZero = value != 0.0; labelShowsNonZero[(size_t) index] != nonZero)
    {
        label->setColour (juce::Label::textColourId, nonZero ? activeColour : juce::Colours::grey);
        labelShowsNonZero[(size_t) index] = nonZero;
    }

    processor->modulationMatrixRowCheckValues (modType, index / numSources, index % numSources, (float) value);
}

//==============================================================================
GridContainerComponent::GridContainerComponent (OstrelAudioProcessor& p,
                                                const juce::StringArray& sourceNames,
                                                const juce::StringArray& targetIds,
                                                ModType type) :
    processor (&p), grid (p, sourceNames, targetIds, type), modType (type)
{
    juce::StringArray names{ "Name" };
    names.addArray (sourceNames);

    for (const auto& name : names)
    {
        auto* header = headers.add (new juce::Label());
        header->setText (name, juce::dontSendNotification);
        header->setColour (juce::Label::backgroundColourId, panelColours[0]);
        header->setColour (juce::Label::textColourId, juce::Colours::lightgrey);
        header->setJustificationType (juce::Justification::centred);
        auto font = header->getFont();
        font.setUnderline (true);
        header->setFont (font);
        addAndMakeVisible (header);
    }

    // After the grid, so that a picked row reaches the grid first.
    p.addSliderChangeListener (this);

    viewport = std::make_unique<juce::Viewport>();
    viewport->setViewedComponent (&grid, false);
    viewport->setScrollBarsShown (true, false, false, false);
    viewport->getVerticalScrollBar().setColour (juce::ScrollBar::thumbColourId, juce::Colours::yellow);
    viewport->setScrollBarThickness (6);
    addAndMakeVisible (*viewport);

    p.addModulationChangeListener (this);
}

GridContainerComponent::~GridContainerComponent()
{
    // Each waits for a call in progress on another thread; that call never waits for this thread.
    processor->removeSliderChangeListener (this);
    processor->removeModulationChangeListener (this);
}

void GridContainerComponent::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();
    const auto n = headers.size();

    const auto first = w / n;
    const auto other = n > 1 ? (w - first) / (n - 1) : 0;
    headers[0]->setBounds (0, 0, first, headerHeight);
    for (int k = 1; k < n; ++k)
        headers[k]->setBounds (first + (k - 1) * other, 0, other, headerHeight);

    const auto top = juce::jmin (h, headerHeight);
    viewport->setBounds (0, top, w, h - top);
    grid.setSize (w, grid.rowHeight * grid.targets.size());

    const auto inUse = sourcesInUse();

    // Every layout of the MIDI grid leaves the knobs with nothing to show until the blocks tell them again.
    if (modType == ModType::Midi)
        processor->clearEveryModulationDisplay();

    for (int k = 0; k < numModulationSources && k + 1 < n; ++k)
    {
        if (headerLit[(size_t) k] == inUse[(size_t) k])
            continue;

        headers[k + 1]->setColour (juce::Label::textColourId,
                                   inUse[(size_t) k] ? juce::Colours::greenyellow : juce::Colours::lightgrey);
        headerLit[(size_t) k] = inUse[(size_t) k];
    }
}

std::array<bool, numModulationSources> GridContainerComponent::sourcesInUse() const
{
    std::array<bool, numModulationSources> inUse{};
    const auto addFlags = [&inUse] (const std::array<bool, numModulationSources>& columns)
    {
        for (size_t k = 0; k < inUse.size(); ++k)
            inUse[k] = inUse[k] || columns[k];
    };

    const juce::ScopedLock tablesLock (processor->routingLock);

    if (modType == ModType::Midi)
    {
        for (size_t j = 0; j < processor->modulationTargets.size() && j < processor->midiSourcesInUse.size(); ++j)
            addFlags (processor->midiSourcesInUse[j]);

        return inUse;
    }

    const auto& table = modType == ModType::LFO ? processor->lfoSourcesInUse : processor->envSourcesInUse;

    for (const auto& id : processor->modulatedTargetIds)
        if (const auto index = processor->parameterIndex.find (id);
            index != processor->parameterIndex.end() && juce::isPositiveAndBelow (index->second, (int) table.size()))
            addFlags (table[(size_t) index->second]);

    return inUse;
}

void GridContainerComponent::modulationIndexChanged (int sourceIndex) { layoutRequest.request (sourceIndex); }

void GridContainerComponent::sliderIndexChanged (int row)
{
    viewport->setViewPosition (0, row * grid.rowHeight - grid.rowHeight);
    viewport->repaint();
}
