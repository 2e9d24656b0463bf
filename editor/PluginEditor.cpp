#include "PluginEditor.h"

#include "PanelColours.h"
#include "controls/AlertWindowLauncher.h"
#include "panels/LFOPanels.h"

OstrelAudioProcessorEditor::OstrelAudioProcessorEditor (OstrelAudioProcessor& p) :
    juce::AudioProcessorEditor (&p),
    audioProcessor (p),
    dialogLauncher (std::make_unique<AlertWindowLauncher>()),
    waveFormGUI (p, *this),
    adsrVoicePanel (p, p.adsrVoiceConfigs, "ADSR Voice"),
    filterPanel (p, p.filterConfigs),
    adsrFilterPanel (p, p.adsrFilterConfigs, "ADSR Filter"),
    globalSynthPanel (p),
    visualiserRect (p),
    spectrumPanel (p),
    presetsBar (p),
    hostNoteDisplay (p)
{
    addAndMakeVisible (waveFormGUI);
    addAndMakeVisible (adsrVoicePanel);
    addAndMakeVisible (filterPanel);
    addAndMakeVisible (adsrFilterPanel);
    addAndMakeVisible (spectrumPanel);
    addAndMakeVisible (globalSynthPanel);
    addAndMakeVisible (visualiserRect);
    addAndMakeVisible (presetsBar);
    addAndMakeVisible (keyboard);

    keyboard.midiOutputCallback = [this] (const juce::MidiMessage& message) { sendKeyboardMessage (message); };
    hostNoteDisplay.setKeyboard (&keyboard);

    // The response starts from the parameters' values.
    filterPanel.comboBoxChanged (filterPanel.comboBoxes[0]);

    // Each grid registers its own listeners with the processor.
    envGrid = std::make_unique<GridContainerComponent> (audioProcessor,
                                                        audioProcessor.envSourceNames,
                                                        audioProcessor.modulationTargetIds,
                                                        ModType::Env);
    lfoGrid = std::make_unique<GridContainerComponent> (audioProcessor,
                                                        audioProcessor.lfoSourceNames,
                                                        audioProcessor.modulationTargetIds,
                                                        ModType::LFO);
    midiGrid = std::make_unique<GridContainerComponent> (audioProcessor,
                                                         audioProcessor.midiSourceNames,
                                                         audioProcessor.modulationTargetIds,
                                                         ModType::Midi);

    sourceTabs = std::make_unique<CustomTabbedComponent> (juce::TabbedButtonBar::TabsAtTop);
    matrixTabs = std::make_unique<CustomTabbedComponent> (juce::TabbedButtonBar::TabsAtTop);

    // The pages, owned by the tab set: an LFOGUI per LFO, whose preview starts from the parameters' values, and an
    // ADSRSComponent per envelope, titled like its tab.
    for (size_t n = 1; n <= audioProcessor.lfoConfigs.size(); ++n)
    {
        auto* page = new LFOGUI (audioProcessor, audioProcessor.lfoConfigs[n - 1]);
        sourceTabs->addTab ("LFO" + juce::String (n), panelColours[0], page, true);
        page->comboBoxChanged (page->comboBoxes[0]);
    }

    for (size_t n = 1; n <= audioProcessor.envConfigs.size(); ++n)
    {
        const auto name = "Env" + juce::String (n);
        sourceTabs->addTab (name,
                            panelColours[0],
                            new ADSRSComponent (audioProcessor, audioProcessor.envConfigs[n - 1], name),
                            true);
    }

    audioProcessor.addModulationChangeListener (this);

    // The grids, shown but not owned.
    matrixTabs->addTab ("LFOs", panelColours[0], lfoGrid.get(), false);
    matrixTabs->addTab ("ENVs", panelColours[0], envGrid.get(), false);
    matrixTabs->addTab ("Midi", panelColours[0], midiGrid.get(), false);

    for (auto* tabs : { sourceTabs.get(), matrixTabs.get() })
    {
        tabs->setLookAndFeel (&minimalLookAndFeel);
        addAndMakeVisible (*tabs);
        tabs->setTabBarDepth (30);
    }

    // "filterType" drives nothing: its two toggles are built and bound but given no place in the window.
    for (auto* toggle : { &filterToggle1, &filterToggle2 })
    {
        toggle->setButtonText (toggle == &filterToggle1 ? "Filter 1" : "Filter 2");
        toggle->setRadioGroupId (1);
        toggle->setClickingTogglesState (true);
    }
    filterToggle1.setToggleState (true, juce::sendNotification);
    filterToggle1.addListener (this);
    filterToggle2.addListener (this);
    addAndMakeVisible (filterToggle1);
    addAndMakeVisible (filterToggle2);
    filterTypeAttachment =
        std::make_unique<ButtonAttachment> (audioProcessor.valueTreeState, "filterType", filterToggle1);

    // Notes that an earlier window left unshown are stale now.
    hostNoteDisplay.discardPendingNotes();
    {
        const juce::ScopedLock lock (audioProcessor.getCallbackLock());
        audioProcessor.incomingMidiCallback = [&processor = audioProcessor] (const juce::MidiMessage& message)
        { processor.pushHostNote (message); };
    }

    setSize (900, 700);
}

OstrelAudioProcessorEditor::~OstrelAudioProcessorEditor()
{
    dialogLauncher->dismissAll();

    // A key the mouse still holds is released while the whole window still stands; the keyboard then sends nothing.
    keyboard.releaseCurrentKey();
    keyboard.midiOutputCallback = nullptr;

    sourceTabs->setLookAndFeel (nullptr);
    matrixTabs->setLookAndFeel (nullptr);

    // Waits for a call in progress on another thread; that call never waits for this thread.
    audioProcessor.removeModulationChangeListener (this);

    {
        // No block is inside the host-note function while it goes, and none starts using it afterwards.
        const juce::ScopedLock lock (audioProcessor.getCallbackLock());
        audioProcessor.incomingMidiCallback = nullptr;
    }

    filterToggle1.removeListener (this);
    filterToggle2.removeListener (this);
}

//==============================================================================
void OstrelAudioProcessorEditor::paint (juce::Graphics& g)
{
    const auto layout = EditorLayout::forSize (getWidth(), getHeight());

    g.setGradientFill (
        juce::ColourGradient (panelColours[0], 0.0f, 0.0f, panelColours[0], 0.0f, (float) getHeight(), false));
    g.fillAll();

    g.setColour (juce::Colours::darkgrey.darker (0.4f));
    const auto width = (float) getWidth();
    for (const auto y : { layout.upperSeparatorY, layout.lowerSeparatorY })
        g.drawLine (0.0f, (float) y, width, (float) y, 2.0f);
}

void OstrelAudioProcessorEditor::resized()
{
    const auto layout = EditorLayout::forSize (getWidth(), getHeight());

    // Every part takes its cell; the "filterType" toggles have none.
    waveFormGUI.setBounds (layout.waveFormGUI);
    adsrVoicePanel.setBounds (layout.adsrVoicePanel);
    adsrFilterPanel.setBounds (layout.adsrFilterPanel);
    globalSynthPanel.setBounds (layout.globalSynthPanel);
    filterPanel.setBounds (layout.filterPanel);
    visualiserRect.setBounds (layout.visualiserRect);
    spectrumPanel.setBounds (layout.spectrumPanel);
    presetsBar.setBounds (layout.presetsBar);
    keyboard.setBounds (layout.keyboard);
    sourceTabs->setBounds (layout.sourceTabs);
    matrixTabs->setBounds (layout.matrixTabs);
}

//==============================================================================
void OstrelAudioProcessorEditor::modulationIndexChanged (int sourceIndex) { sourcePageRequest.request (sourceIndex); }

void OstrelAudioProcessorEditor::showSourcePage (int sourceIndex)
{
    // Sources 8..11 have no page: the tab set then shows none until a tab is clicked.
    sourceTabs->getTabbedButtonBar().setCurrentTabIndex (sourceIndex, true);
}

//==============================================================================
void OstrelAudioProcessorEditor::sendKeyboardMessage (const juce::MidiMessage& message)
{
    const juce::ScopedLock lock (audioProcessor.keyboardMidiLock);
    audioProcessor.keyboardMidiBuffer.addEvent (message, 0);
}

void OstrelAudioProcessorEditor::setDialogLauncher (std::unique_ptr<DialogLauncher> launcher)
{
    jassert (launcher != nullptr);
    dialogLauncher->dismissAll();
    dialogLauncher = std::move (launcher);
}
