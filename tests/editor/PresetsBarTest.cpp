// The presets bar: its layout, the box's items, choosing, saving and deleting presets through its dialogs, names
// kept as typed, a presets file that cannot be written, and dialogs answered after the bar is gone.
#include "EditorFixture.h"
#include "RoutingStateFixtures.h"
#include "editor/controls/AlertWindowLauncher.h"

#include <sys/resource.h>

#include <csignal>

using namespace editor_testing;
using routing_fixtures::presetObject;
using routing_fixtures::presetsFile;
using routing_fixtures::presetsText;
using routing_fixtures::writePresetsFile;

namespace
{
using Items = std::vector<std::pair<int, juce::String>>;

/** The box's items as {id, text}, in order. */
Items itemsOf (const juce::ComboBox& box)
{
    Items items;
    for (int i = 0; i < box.getNumItems(); ++i)
        items.emplace_back (box.getItemId (i), box.getItemText (i));
    return items;
}

/** Presets of the given names, each with its own "Attack". */
void writePresets (const juce::StringArray& names)
{
    juce::Array<juce::var> presets;
    for (int i = 0; i < names.size(); ++i)
        presets.add (presetObject (names[i], { { "Attack", 10.0 * (i + 1) } }));
    writePresetsFile (presetsText (presets));
}

juce::Array<juce::var> filePresets()
{
    const auto root = juce::JSON::parse (presetsFile().loadFileAsString());
    if (auto* array = root[juce::Identifier (pluginPresetFileCheckName)].getArray())
        return *array;
    return {};
}

juce::StringArray fileNames()
{
    juce::StringArray names;
    for (const auto& preset : filePresets())
        names.add (preset["PresetName"].toString());
    return names;
}

juce::StringArray programNames (OstrelAudioProcessor& processor)
{
    juce::StringArray names;
    for (const auto& program : processor.programs)
        names.add (program.name);
    return names;
}

juce::MemoryBlock bytesOf (const juce::File& file)
{
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    return bytes;
}

/** Clicks a button as the user does: the framework delivers the click later, on the message thread. */
void press (juce::Button& button)
{
    button.triggerClick();
    runFor (20);
}

/** The window with its dialogs recorded and answered by the test. */
struct BarHarness
{
    BarHarness() { harness.editor().setDialogLauncher (std::make_unique<FakeDialogLauncher> (dialogs)); }

    NameLabel& bar() { return harness.editor().presetsBar; }
    OstrelAudioProcessor& processor() { return harness.processor(); }
    FakeDialogs::Request& lastRequest() { return dialogs->requests.back(); }

    /** Save, then the name dialog answered with result and text. */
    void save (const juce::String& name, int result = 1)
    {
        const auto before = dialogs->requests.size();
        press (bar().saveButton);
        ASSERT_EQ (dialogs->requests.size(), before + 1);
        dialogs->answer (before, result, name);
    }

    /** The item at index chosen, then Del, then the question answered with result. */
    void deleteItem (int index, int result = 1)
    {
        bar().presetsBox.setSelectedItemIndex (index, juce::dontSendNotification);
        const auto before = dialogs->requests.size();
        press (bar().deleteButton);
        ASSERT_EQ (dialogs->requests.size(), before + 1);
        dialogs->answer (before, result);
    }

    const std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    EditorHarness harness;
};

/** Every test starts without a presets file and leaves none. */
class PresetsBar : public ::testing::Test
{
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }

    static void clear()
    {
        auto folder = testing_helpers::documentsFolder();
        folder.deleteRecursively();
        folder.deleteFile();
    }
};
} // namespace

TEST_F (PresetsBar, LaysOutItsPartsInItsCellAndListsThePresetsByProgramNumber)
{
    writePresets ({ "Soft", "Bright", "Third" });
    BarHarness h;
    auto& bar = h.bar();

    EXPECT_EQ (bar.getBounds(), EditorLayout::forSize (900, 700).presetsBar);
    const std::pair<juce::Component*, juce::Rectangle<int>> cells[] = {
        { &bar.titleLabel, { 0, 0, 241, 26 } },   { &bar.saveButton, { 5, 29, 50, 20 } },
        { &bar.deleteButton, { 5, 55, 50, 20 } }, { &bar.presetsLabel, { 55, 31, 93, 21 } },
        { &bar.presetsBox, { 60, 52, 83, 21 } },  { bar.comboBoxes[0], { 153, 41, 83, 22 } },
    };
    for (const auto& [component, bounds] : cells)
        EXPECT_EQ (component->getBounds(), bounds) << component->getName();

    EXPECT_EQ (bar.comboBoxes.size(), 1);
    EXPECT_EQ (bar.comboBoxes[0]->getName(), "OverSample");
    EXPECT_EQ (bar.saveButton.getCaption(), "Save");
    EXPECT_EQ (bar.deleteButton.getCaption(), "Del");
    EXPECT_EQ (bar.presetsLabel.getText(), "Presets:");

    EXPECT_EQ (itemsOf (bar.presetsBox), (Items{ { 1, "Soft" }, { 2, "Bright" }, { 3, "Third" } }))
        << "no \"NoPreset\" after the last preset";
    EXPECT_EQ (bar.presetsBox.getSelectedId(), 0);

    // Choosing an item applies its program.
    bar.presetsBox.setSelectedId (3, juce::sendNotificationSync);
    EXPECT_NEAR (h.harness.host.raw ("Attack"), 30.0f, 1e-4f);
    bar.presetsBox.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_NEAR (h.harness.host.raw ("Attack"), 10.0f, 1e-4f);
}

TEST_F (PresetsBar, SaveAddsANewNameLastAndReplacesAnExistingOneInPlace)
{
    writePresets ({ "Soft", "Bright" });
    BarHarness h;
    auto& processor = h.processor();

    h.harness.host.set ("Gain", -3.0f);
    h.save ("Lead");

    const auto& asked = h.dialogs->requests.front();
    EXPECT_EQ (asked.kind, FakeDialogs::Request::Kind::textEntry);
    EXPECT_EQ (asked.title, "Add Preset");
    EXPECT_EQ (asked.message, "Please enter your preset name:");
    EXPECT_EQ (asked.owner, &h.harness.editor());
    EXPECT_EQ (asked.textEntry.editorName, "presetName");
    EXPECT_EQ (asked.textEntry.initialText, "MyPreset");
    EXPECT_EQ (asked.textEntry.label, "Preset Name:");
    ASSERT_EQ (asked.buttons.size(), 2u);
    EXPECT_EQ (asked.buttons[0].text, "OK");
    EXPECT_EQ (asked.buttons[0].result, 1);
    EXPECT_EQ (asked.buttons[1].text, "Cancel");
    EXPECT_EQ (asked.buttons[1].result, 0);

    EXPECT_EQ (programNames (processor), juce::StringArray ({ "Soft", "Bright", "Lead" }));
    EXPECT_EQ (fileNames(), juce::StringArray ({ "Soft", "Bright", "Lead" }));
    EXPECT_NEAR ((double) filePresets()[2]["Gain"], -3.0, 1e-4);
    EXPECT_EQ (itemsOf (h.bar().presetsBox), (Items{ { 1, "Soft" }, { 2, "Bright" }, { 3, "Lead" } }));
    EXPECT_EQ (h.bar().presetsBox.getSelectedId(), 0);

    h.harness.host.set ("Gain", -9.0f);
    h.save ("Lead");
    EXPECT_EQ (fileNames(), juce::StringArray ({ "Soft", "Bright", "Lead" }));
    EXPECT_NEAR ((double) filePresets()[2]["Gain"], -9.0, 1e-4);
    EXPECT_EQ (itemsOf (h.bar().presetsBox).size(), 3u);

    h.harness.host.set ("Gain", 0.0f);
    h.bar().presetsBox.setSelectedId (3, juce::sendNotificationSync);
    EXPECT_NEAR (h.harness.host.raw ("Gain"), -9.0f, 1e-4f) << "the box applies the new values";

    // Cancel, an empty name and the untouched default save nothing.
    const auto before = bytesOf (presetsFile());
    h.save ("Other", 0);
    h.save ("");
    h.save ("MyPreset");
    EXPECT_EQ (processor.programs.size(), 3u);
    EXPECT_EQ (bytesOf (presetsFile()), before);
    EXPECT_EQ (h.dialogs->numOpen(), 0) << "and nothing to tell";
}

TEST_F (PresetsBar, TheDefaultNameClearsOnceWhenAChangeLeavesItStanding)
{
    BarHarness h;
    press (h.bar().saveButton);
    ASSERT_EQ (h.dialogs->requests.size(), 1u);
    const auto onTextChange = h.lastRequest().textEntry.onTextChange;
    ASSERT_TRUE ((bool) onTextChange);

    juce::TextEditor editor ("presetName");
    const std::pair<const char*, const char*> steps[] = {
        { "MyPresetX", "MyPresetX" }, // typing leaves a name of the user's
        { "MyPreset", "" },           // back at the default: cleared
        { "MyPreset", "MyPreset" },   // once only
    };
    for (const auto& [typed, left] : steps)
    {
        editor.setText (typed, false);
        onTextChange (editor);
        EXPECT_EQ (editor.getText(), left) << typed;
    }
}

TEST_F (PresetsBar, DeleteAsksForTheProgramNumberAndRemovesThatPresetOnly)
{
    writePresets ({ "A", "B", "C", "D", "E" });
    BarHarness h;
    auto& processor = h.processor();
    auto& box = h.bar().presetsBox;

    // Nothing chosen: nothing to ask.
    press (h.bar().deleteButton);
    EXPECT_TRUE (h.dialogs->requests.empty());

    h.deleteItem (2, 0);
    EXPECT_EQ (h.lastRequest().title, "Delete Preset");
    EXPECT_EQ (h.lastRequest().message, "Are you sure you want to delete preset #3?");
    ASSERT_EQ (h.lastRequest().buttons.size(), 2u);
    EXPECT_EQ (h.lastRequest().buttons[0].text, "Delete");
    EXPECT_EQ (h.lastRequest().buttons[1].text, "Cancel");
    EXPECT_EQ (processor.programs.size(), 5u) << "Cancel";
    EXPECT_EQ (box.getSelectedId(), 3) << "the choice stays";

    h.deleteItem (2);
    EXPECT_EQ (programNames (processor), juce::StringArray ({ "A", "B", "D", "E" }));
    EXPECT_EQ (fileNames(), juce::StringArray ({ "A", "B", "D", "E" }));
    EXPECT_EQ (itemsOf (box), (Items{ { 1, "A" }, { 2, "B" }, { 3, "D" }, { 4, "E" } }));
    EXPECT_EQ (box.getSelectedId(), 0);
    EXPECT_EQ (h.dialogs->numOpen(), 0);
}

TEST_F (PresetsBar, DeleteOfOneOfTwoPresetsOfOneNameLeavesTheOther)
{
    for (const auto chosen : { 0, 1 })
    {
        SCOPED_TRACE (chosen);
        writePresets ({ "Pad", "Pad" }); // Attack 10, then 20
        BarHarness h;

        h.deleteItem (chosen);

        const auto kept = chosen == 0 ? 20.0f : 10.0f;
        ASSERT_EQ (h.processor().programs.size(), 1u);
        EXPECT_FLOAT_EQ (h.processor().programs[0].values[0], kept);
        const auto left = filePresets();
        ASSERT_EQ (left.size(), 1);
        EXPECT_FLOAT_EQ ((float) left[0]["Attack"], kept);
        EXPECT_EQ (itemsOf (h.bar().presetsBox), (Items{ { 1, "Pad" } }));
    }
}

TEST_F (PresetsBar, WithoutPresetsTheBoxSaysNoPresetAndDeleteOnItErasesNothing)
{
    writePresets ({ "Only" });
    BarHarness h;
    auto& box = h.bar().presetsBox;

    h.deleteItem (0);
    EXPECT_TRUE (h.processor().programs.empty());
    EXPECT_TRUE (fileNames().isEmpty());
    EXPECT_EQ (itemsOf (box), (Items{ { 1, "NoPreset" } }));

    // Choosing it changes nothing; deleting it asks, then erases nothing and has nothing to report.
    h.harness.host.set ("Attack", 5.0f);
    box.setSelectedId (1, juce::sendNotificationSync);
    EXPECT_NEAR (h.harness.host.raw ("Attack"), 5.0f, 1e-4f);
    const auto before = bytesOf (presetsFile());
    h.deleteItem (0);
    EXPECT_EQ (h.lastRequest().message, "Are you sure you want to delete preset #1?");
    EXPECT_EQ (bytesOf (presetsFile()), before);
    EXPECT_EQ (h.dialogs->numOpen(), 0);
    EXPECT_EQ (itemsOf (box), (Items{ { 1, "NoPreset" } }));
}

TEST_F (PresetsBar, APresetWithoutANameHasNoItemAndTheOthersKeepTheirNumbers)
{
    writePresetsFile (presetsText ({ presetObject ("A", {}), presetObject ("", {}), presetObject ("C", {}) }));
    BarHarness h;
    EXPECT_EQ (itemsOf (h.bar().presetsBox), (Items{ { 1, "A" }, { 3, "C" } }));

    h.deleteItem (1); // "C", program 3
    EXPECT_EQ (h.lastRequest().message, "Are you sure you want to delete preset #3?");
    EXPECT_EQ (programNames (h.processor()), juce::StringArray ({ "A", "" }));
}

TEST_F (PresetsBar, NamesAreStoredAsTypedAndReadBackEqual)
{
    const juce::String names[] = {
        juce::String ("She said \"go\" \\ 'now'"),
        juce::String (juce::CharPointer_UTF8 ("F\xc3\xa9nix \xe2\x80\x94 \xe9\x9f\xb3 \xf0\x9f\x8e\xb9 \xd0\x96")),
        juce::String::repeatedString ("Long name ", 60),
        juce::String ("  spaced  "),
    };

    {
        BarHarness h;
        for (const auto& name : names)
            h.save (name);

        const auto items = itemsOf (h.bar().presetsBox);
        ASSERT_EQ (items.size(), std::size (names));
        for (size_t i = 0; i < items.size(); ++i)
            EXPECT_EQ (items[i].second, names[i]);
    }

    // As the next start reads the file.
    OstrelAudioProcessor reopened;
    ASSERT_EQ (reopened.programs.size(), std::size (names));
    for (size_t i = 0; i < std::size (names); ++i)
        EXPECT_EQ (reopened.programs[i].name, names[i]) << names[i];
}

TEST_F (PresetsBar, APresetsFileThatCannotBeWrittenIsReportedAndLeftAsItWas)
{
    struct Case
    {
        const char* what;
        /** Makes every write of the presets file fail from now on; returns the file that must stay as it is. */
        std::function<juce::File()> breakWrites;
        std::function<void()> mendWrites;
    };

    rlimit oldLimit{};
    getrlimit (RLIMIT_FSIZE, &oldLimit);
    void (*oldHandler) (int) = nullptr;

    const Case cases[] = {
        { "a full disk",
          [&]
          {
              // Shorter than any presets file, even one holding no preset.
              oldHandler = std::signal (SIGXFSZ, SIG_IGN);
              auto limit = oldLimit;
              limit.rlim_cur = 16;
              EXPECT_EQ (setrlimit (RLIMIT_FSIZE, &limit), 0);
              return presetsFile();
          },
          [&]
          {
              setrlimit (RLIMIT_FSIZE, &oldLimit);
              std::signal (SIGXFSZ, oldHandler);
          } },
        { "a plain file where the folder should be",
          []
          {
              auto folder = testing_helpers::documentsFolder();
              folder.deleteRecursively();
              folder.replaceWithText ("not a folder");
              return folder;
          },
          [] {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        testing_helpers::documentsFolder().deleteFile();
        writePresets ({ "A", "B", "C" });

        BarHarness h;
        const auto kept = c.breakWrites();
        const auto before = bytesOf (kept);

        h.save ("Lead");
        h.deleteItem (0);
        c.mendWrites();

        // The list in memory changes all the same; the user is told, once for each.
        EXPECT_EQ (programNames (h.processor()), juce::StringArray ({ "B", "C", "Lead" }));
        EXPECT_EQ (itemsOf (h.bar().presetsBox), (Items{ { 1, "B" }, { 2, "C" }, { 3, "Lead" } }));
        EXPECT_EQ (bytesOf (kept), before);

        int messages = 0;
        for (const auto& request : h.dialogs->requests)
        {
            if (request.kind != FakeDialogs::Request::Kind::message)
                continue;
            ++messages;
            EXPECT_EQ (request.owner, &h.harness.editor());
            EXPECT_TRUE (request.message.contains ("The presets file could not be written")) << request.message;
            EXPECT_TRUE (request.message.contains (presetsFile().getFullPathName())) << request.message;
        }
        EXPECT_EQ (messages, 2);
    }
}

TEST_F (PresetsBar, AnUnreadablePresetsFileMovedAsideIsReportedWithWhereItWent)
{
    writePresetsFile ("these are not presets");
    const auto before = bytesOf (presetsFile());
    BarHarness h;

    h.save ("Lead");
    EXPECT_EQ (fileNames(), juce::StringArray ({ "Lead" }));

    ASSERT_EQ (h.dialogs->numOpen(), 1);
    const auto message = h.lastRequest().message;
    EXPECT_EQ (h.lastRequest().kind, FakeDialogs::Request::Kind::message);
    EXPECT_FALSE (message.contains ("could not be written")) << message;

    const auto backups = testing_helpers::documentsFolder().findChildFiles (juce::File::findFiles,
                                                                            false,
                                                                            "OstrelPresets.unreadable-*.json");
    ASSERT_EQ (backups.size(), 1);
    EXPECT_TRUE (message.contains (backups[0].getFullPathName())) << message;
    EXPECT_EQ (bytesOf (backups[0]), before);
}

TEST_F (PresetsBar, DialogsAnsweredAfterTheBarOrTheWindowIsGoneDoNothing)
{
    ASSERT_TRUE (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
        << "needs the test program's private X server (Xvfb)";

    /** A window of the test's own that opens real alert windows for the bar inside it. */
    struct Window : public juce::Component, public DialogLauncher::Owner
    {
        DialogLauncher& getDialogLauncher() override { return launcher; }
        AlertWindowLauncher launcher;
    };

    const auto numModal = [] { return juce::ModalComponentManager::getInstance()->getNumModalComponents(); };
    const auto frontWindow = []
    { return dynamic_cast<juce::AlertWindow*> (juce::ModalComponentManager::getInstance()->getModalComponent (0)); };

    struct Case
    {
        const char* what;
        bool saveDialog;   // else the Delete dialog
        bool windowCloses; // else the bar alone goes, its dialog still open
    };
    const Case cases[] = {
        { "Save, the bar goes", true, false },
        { "Delete, the bar goes", false, false },
        { "Save, the window closes", true, true },
        { "Delete, the window closes", false, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        writePresets ({ "A", "B" });
        const auto before = bytesOf (presetsFile());
        EditorHarness harness;

        Window window;
        std::unique_ptr<NameLabel> looseBar;
        NameLabel* bar = &harness.editor().presetsBar;
        if (!c.windowCloses)
        {
            looseBar = std::make_unique<NameLabel> (harness.processor());
            window.addAndMakeVisible (*looseBar);
            bar = looseBar.get();
        }

        bar->presetsBox.setSelectedItemIndex (0, juce::dontSendNotification);
        (c.saveDialog ? bar->saveButton : bar->deleteButton).triggerClick();
        ASSERT_TRUE (runUntil ([&] { return numModal() == 1; }));
        auto* dialog = frontWindow();
        ASSERT_NE (dialog, nullptr);

        if (c.windowCloses)
        {
            harness.closeEditor();
        }
        else
        {
            looseBar.reset();
            // The user answers a dialog whose bar is gone.
            if (c.saveDialog)
                dialog->getTextEditor ("presetName")->setText ("Lead", true);
            for (auto* child : dialog->getChildren())
                if (auto* button = dynamic_cast<juce::TextButton*> (child);
                    button != nullptr && button->getButtonText() == (c.saveDialog ? "OK" : "Delete"))
                    button->triggerClick();
        }

        EXPECT_TRUE (runUntil ([&] { return numModal() == 0; }));
        runFor (50);
        EXPECT_EQ (programNames (harness.processor()), juce::StringArray ({ "A", "B" }));
        EXPECT_EQ (bytesOf (presetsFile()), before);
    }
}
