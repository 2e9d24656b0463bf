#include "NameLabel.h"

#include "editor/LayoutCells.h"

namespace
{
const juce::String defaultPresetName{ "MyPreset" };
const juce::String messageTitle{ "Presets" };
} // namespace

NameLabel::NameLabel (OstrelAudioProcessor& p) : GlobalPanelClass (p, p.overSampleConfigs), audioProcessor (p)
{
    barLookAndFeel.setColour (juce::ToggleButton::textColourId, juce::Colours::white);
    barLookAndFeel.setColour (juce::ToggleButton::tickColourId, juce::Colours::orange);
    barLookAndFeel.setColour (juce::ToggleButton::tickDisabledColourId, juce::Colours::grey);

    // The label only holds the title's text and font: paint draws it with its gradient.
    titleLabel.setText ("Ostrel", juce::sendNotification);
    titleLabel.setJustificationType (juce::Justification::centred);
    titleLabel.setFont (juce::Font ("Times", 20.0f, juce::Font::italic));
    titleLabel.setColour (juce::Label::textColourId, juce::Colours::transparentBlack);

    addAndMakeVisible (titleLabel);
    addAndMakeVisible (saveButton);
    addAndMakeVisible (deleteButton);
    addAndMakeVisible (presetsBox);
    addAndMakeVisible (presetsLabel);

    presetsLabel.setText ("Presets:", juce::dontSendNotification);
    presetsLabel.setJustificationType (juce::Justification::centred);
    presetsLabel.setColour (juce::Label::textColourId, juce::Colours::orange);

    barLookAndFeel.setColour (juce::PopupMenu::backgroundColourId, juce::Colours::black);

    saveButton.setCaption ("Save");
    deleteButton.setCaption ("Del");

    presetsBox.setColour (juce::ComboBox::outlineColourId, juce::Colours::turquoise);
    presetsBox.setLookAndFeel (&barLookAndFeel);

    saveButton.onClick = [this] { askForPresetName(); };
    refreshPresetList();
    presetsBox.onChange = [this]
    {
        if (presetsBox.getNumItems() > 0 && presetsBox.getSelectedId() != 0)
            audioProcessor.setCurrentProgram (presetsBox.getSelectedId());
    };
    deleteButton.onClick = [this] { askToDeletePreset(); };
}

NameLabel::~NameLabel()
{
    setLookAndFeel (nullptr);
    presetsBox.setLookAndFeel (nullptr);
}

//==============================================================================
void NameLabel::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::darkgrey);
    juce::DropShadow (juce::Colours::black, 5, { 2, 2 }).drawForRectangle (g, getLocalBounds());

    const auto title = titleLabel.getBounds();
    juce::ColourGradient gradient (juce::Colours::green,
                                   (float) title.getX(),
                                   (float) title.getY(),
                                   juce::Colours::green,
                                   (float) title.getRight(),
                                   (float) title.getY(),
                                   false);
    gradient.addColour (0.166, juce::Colours::yellow);
    gradient.addColour (0.333, juce::Colours::orange);
    gradient.addColour (0.5, juce::Colours::red);
    gradient.addColour (0.666, juce::Colours::orange);
    gradient.addColour (0.833, juce::Colours::yellow);

    g.setGradientFill (gradient);
    g.setFont (titleLabel.getFont());
    g.drawText (titleLabel.getText(), title.toFloat(), juce::Justification::centred, true);
}

void NameLabel::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();

    const auto t = h / 3;
    titleLabel.setBounds (0, 0, w, t);
    const auto r = h - t;

    const auto cw = w / 4;
    const auto half = r / 2;
    saveButton.setBounds (cell (5, t + 3, cw - 10, half - 6));
    deleteButton.setBounds (cell (5, t + half + 3, cw - 10, r - half - 6));

    const auto left = juce::jmin (saveButton.getRight(), w);
    const auto top = juce::jmin (titleLabel.getBottom(), h);
    const auto rw = w - left;
    const auto rh = h - top;

    const auto h2 = rw / 2;
    const auto m = juce::jmax (rh - 10, 0);
    presetsLabel.setBounds (cell (left, top + 5, h2, m / 2));
    presetsBox.setBounds (cell (left + 5, top + 5 + m / 2, h2 - 10, m - m / 2));

    if (auto* overSample = comboBoxes[0])
        overSample->setBounds (cell (left + h2 + 5, top + 15, rw - h2 - 10, rh - 30));
}

//==============================================================================
void NameLabel::refreshPresetList()
{
    presetsBox.clear (juce::sendNotificationAsync);

    size_t numPresets = 0;
    {
        const juce::ScopedLock lock (audioProcessor.programsLock);
        numPresets = audioProcessor.programs.size();
    }

    // Program 0 is "Init" and no preset: the box lists the presets alone, or says there are none.
    if (numPresets == 0)
    {
        presetsBox.addItem (audioProcessor.getProgramName (1), 1);
        return;
    }

    for (int id = 1; id <= (int) numPresets; ++id)
    {
        // A preset without a name (a file may hold one) has no item; the ids of the others stay their numbers.
        const auto name = audioProcessor.getProgramName (id);
        if (name.isNotEmpty())
            presetsBox.addItem (name, id);
    }
}

DialogLauncher* NameLabel::dialogLauncher() { return DialogLauncher::findFor (*this); }

void NameLabel::askForPresetName()
{
    auto* launcher = dialogLauncher();
    if (launcher == nullptr)
        return;

    DialogLauncher::TextEntry entry;
    entry.title = "Add Preset";
    entry.message = "Please enter your preset name:";
    entry.icon = juce::MessageBoxIconType::NoIcon;
    entry.editorName = "presetName";
    entry.initialText = defaultPresetName;
    entry.label = "Preset Name:";
    entry.buttons = { { "OK", 1, juce::KeyPress::returnKey }, { "Cancel", 0, juce::KeyPress::escapeKey } };

    // Clears the untouched default once, the first time a change leaves it standing; one flag per dialog.
    entry.onTextChange = [cleared = std::make_shared<bool> (false)] (juce::TextEditor& editor)
    {
        if (!*cleared && editor.getText() == defaultPresetName)
        {
            editor.setText ({}, false);
            *cleared = true;
        }
    };

    launcher->askForText (getTopLevelComponent(),
                          entry,
                          [bar = juce::Component::SafePointer<NameLabel> (this)] (int result, const juce::String& name)
                          {
                              if (auto* b = bar.getComponent())
                                  b->presetNameEntered (result, name);
                          });
}

void NameLabel::presetNameEntered (int result, const juce::String& name)
{
    // Cancel, an empty name and the untouched default save nothing; the list is rebuilt all the same.
    const auto save = result == 1 && name.isNotEmpty() && name != defaultPresetName;

    OstrelAudioProcessor::PresetsFileResult written;
    if (save)
        written = audioProcessor.savePreset (audioProcessor.makeProgramFromCurrentSettings (name));

    refreshPresetList();

    if (save)
        reportPresetsFile (written);
}

void NameLabel::askToDeletePreset()
{
    // The item's id is its program number, so the preset is found by it whatever items the box lacks.
    const auto programIndex = presetsBox.getSelectedId() - 1;
    if (programIndex < 0)
        return;

    auto* launcher = dialogLauncher();
    if (launcher == nullptr)
        return;

    DialogLauncher::Question question;
    question.title = "Delete Preset";
    question.message = "Are you sure you want to delete preset #" + juce::String (programIndex + 1) + "?";
    question.icon = juce::MessageBoxIconType::QuestionIcon;
    question.buttons = { { "Delete", 1 }, { "Cancel", 0 } };

    launcher->askQuestion (getTopLevelComponent(),
                           question,
                           [bar = juce::Component::SafePointer<NameLabel> (this), programIndex] (int result)
                           {
                               if (auto* b = bar.getComponent())
                                   b->deleteConfirmed (result, programIndex);
                           });
}

void NameLabel::deleteConfirmed (int result, int programIndex)
{
    if (result != 1)
        return;

    bool exists = false;
    {
        const juce::ScopedLock lock (audioProcessor.programsLock);
        exists = programIndex < (int) audioProcessor.programs.size();
    }

    if (!exists)
    {
        refreshPresetList();
        return;
    }

    const auto written = audioProcessor.deletePreset (programIndex);
    refreshPresetList();
    reportPresetsFile (written);
}

void NameLabel::reportPresetsFile (const OstrelAudioProcessor::PresetsFileResult& result)
{
    juce::StringArray lines;

    if (result.unreadableFileBackup != juce::File())
        lines.add ("The presets file could not be read, so it was moved to\n"
                   + result.unreadableFileBackup.getFullPathName());

    if (!result.written)
        lines.add ("The presets file could not be written, so this change will be gone the next time the plug-in "
                   "starts:\n"
                   + audioProcessor.getFilePath (pluginPresetFileCheckName));

    if (lines.isEmpty())
        return;

    if (auto* launcher = dialogLauncher())
        launcher->showMessage (getTopLevelComponent(), messageTitle, lines.joinIntoString ("\n\n"));
}
