// The seam through which panels open their dialogs: tests stand in for it, and the real one's alert windows answer
// through their callbacks, or never once dismissed. The real windows need the program's private X server.
#include "EditorFixture.h"
#include "editor/controls/AlertWindowLauncher.h"

using namespace editor_testing;

namespace
{
const DialogLauncher::Question dropQuestion{
    "Confirmation",
    "Do you want to init all parameters?",
    juce::MessageBoxIconType::QuestionIcon,
    { { "Yes", 1, juce::KeyPress::returnKey }, { "No", 2 }, { "Cancel", 0, juce::KeyPress::escapeKey } },
};

DialogLauncher::TextEntry presetName()
{
    DialogLauncher::TextEntry entry;
    entry.title = "Add Preset";
    entry.message = "Please enter your preset name:";
    entry.editorName = "presetName";
    entry.initialText = "MyPreset";
    entry.label = "Preset Name:";
    entry.buttons = { { "OK", 1, juce::KeyPress::returnKey }, { "Cancel", 0, juce::KeyPress::escapeKey } };
    return entry;
}

bool hasDisplay() { return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr; }

int numModalWindows() { return juce::ModalComponentManager::getInstance()->getNumModalComponents(); }

juce::AlertWindow* frontAlertWindow()
{
    return dynamic_cast<juce::AlertWindow*> (juce::ModalComponentManager::getInstance()->getModalComponent (0));
}

void press (juce::AlertWindow& window, const juce::String& buttonText)
{
    for (auto* child : window.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child);
            button != nullptr && button->getButtonText() == buttonText)
            return button->triggerClick();

    ADD_FAILURE() << "no button " << buttonText;
}
} // namespace

TEST (Dialogs, PanelsFindTheirWindowsLauncherAndTestsStandInForIt)
{
    EditorHarness harness;
    auto& editor = harness.editor();
    const auto dialogs = std::make_shared<FakeDialogs>();
    editor.setDialogLauncher (std::make_unique<FakeDialogLauncher> (dialogs));

    auto* launcher = DialogLauncher::findFor (*editor.sourceTabs);
    ASSERT_EQ (launcher, &editor.getDialogLauncher());
    juce::Component loose;
    EXPECT_EQ (DialogLauncher::findFor (loose), nullptr);

    int answer = -1;
    juce::String name;
    launcher->askQuestion (editor.sourceTabs.get(), dropQuestion, [&] (int result) { answer = result; });
    launcher->askForText (&editor, presetName(), [&] (int, const juce::String& text) { name = text; });
    launcher->showMessage (&editor, "Presets", "The presets file could not be written.");

    ASSERT_EQ (dialogs->requests.size(), 3u);
    EXPECT_EQ (dialogs->requests[0].title, "Confirmation");
    EXPECT_EQ (dialogs->requests[0].buttons.size(), 3u);
    EXPECT_EQ (dialogs->requests[1].textEntry.initialText, "MyPreset");
    EXPECT_EQ (dialogs->requests[2].kind, FakeDialogs::Request::Kind::message);

    dialogs->answer (0, 2);
    dialogs->answer (1, 1, "Lead");
    EXPECT_EQ (answer, 2);
    EXPECT_EQ (name, "Lead");

    // Closing the window dismisses what is still open.
    EXPECT_EQ (dialogs->numOpen(), 1);
    harness.closeEditor();
    EXPECT_EQ (dialogs->numOpen(), 0);
    EXPECT_GE (dialogs->dismissals, 1);
}

TEST (Dialogs, AlertWindowsAnswerThroughTheirCallbacks)
{
    ASSERT_TRUE (hasDisplay()) << "needs the test program's private X server (Xvfb)";
    AlertWindowLauncher launcher;

    // By button and by the buttons' keys.
    struct Case
    {
        const char* button;
        int key;
        int expected;
    };
    for (const auto& c : { Case{ "No", 0, 2 },
                           Case{ "Yes", 0, 1 },
                           Case{ nullptr, juce::KeyPress::escapeKey, 0 },
                           Case{ nullptr, juce::KeyPress::returnKey, 1 } })
    {
        int answer = -1;
        launcher.askQuestion (nullptr, dropQuestion, [&] (int result) { answer = result; });

        auto* window = frontAlertWindow();
        ASSERT_NE (window, nullptr);
        EXPECT_TRUE (window->isOnDesktop());
        EXPECT_EQ (window->getName(), "Confirmation");
        EXPECT_EQ (window->getNumButtons(), 3);

        if (c.button != nullptr)
            press (*window, c.button);
        else
            static_cast<juce::Component*> (window)->keyPressed (juce::KeyPress (c.key));

        EXPECT_TRUE (runUntil ([&] { return answer != -1; }));
        EXPECT_EQ (answer, c.expected);
        EXPECT_EQ (launcher.getNumOpenDialogs(), 0);
        EXPECT_TRUE (runUntil ([] { return numModalWindows() == 0; }));
    }

    // A text entry answers with the text as it stands.
    auto entry = presetName();
    int changes = 0;
    entry.onTextChange = [&] (juce::TextEditor& editor)
    {
        ++changes;
        EXPECT_EQ (editor.getName(), "presetName");
    };
    int result = -1;
    juce::String text;
    launcher.askForText (nullptr,
                         entry,
                         [&] (int r, const juce::String& t)
                         {
                             result = r;
                             text = t;
                         });

    auto* window = frontAlertWindow();
    ASSERT_NE (window, nullptr);
    ASSERT_NE (window->getTextEditor ("presetName"), nullptr);
    EXPECT_EQ (window->getTextEditorContents ("presetName"), "MyPreset");
    // The name is typed at once, without a click into the field first.
    EXPECT_TRUE (runUntil ([&] { return window->getTextEditor ("presetName")->hasKeyboardFocus (false); }));
    window->getTextEditor ("presetName")->setText ("Lead", true);
    EXPECT_TRUE (runUntil ([&] { return changes == 1; }));
    press (*window, "OK");
    EXPECT_TRUE (runUntil ([&] { return result != -1; }));
    EXPECT_EQ (result, 1);
    EXPECT_EQ (text, "Lead");
}

TEST (Dialogs, DismissedAlertWindowsCloseAndNeverAnswer)
{
    ASSERT_TRUE (hasDisplay()) << "needs the test program's private X server (Xvfb)";

    int answers = 0;
    {
        AlertWindowLauncher launcher;
        launcher.askQuestion (nullptr, dropQuestion, [&] (int) { ++answers; });
        launcher.askForText (nullptr, presetName(), [&] (int, const juce::String&) { ++answers; });
        EXPECT_EQ (numModalWindows(), 2);

        launcher.dismissAll();
        EXPECT_EQ (launcher.getNumOpenDialogs(), 0);
        EXPECT_EQ (numModalWindows(), 0);
        runFor (100);

        // Destroying the launcher does the same for what it has open.
        launcher.showMessage (nullptr, "Presets", "Saved.");
        EXPECT_EQ (numModalWindows(), 1);
    }
    EXPECT_EQ (numModalWindows(), 0);
    runFor (100);
    EXPECT_EQ (answers, 0);

    // The window dismisses its dialogs when it closes, before anything they might call back into is gone.
    EditorHarness harness;
    harness.editor().getDialogLauncher().askQuestion (&harness.editor(), dropQuestion, [&] (int) { ++answers; });
    EXPECT_EQ (numModalWindows(), 1);
    harness.closeEditor();
    EXPECT_EQ (numModalWindows(), 0);
    runFor (100);
    EXPECT_EQ (answers, 0);
}

TEST (Dialogs, ButtonsAndTheNameFieldDrawInTheDialogsOwnColours)
{
    ASSERT_TRUE (hasDisplay()) << "needs the test program's private X server (Xvfb)";
    AlertWindowLauncher launcher;

    const juce::Colour buttonColour (0xff464646), fieldColour (0xff3a3a3a), selectionColour (0xff6464ff);

    // The drop dialog and Delete ask questions, Save asks for a name, the presets bar's messages tell.
    const std::function<void()> opens[] = {
        [&] { launcher.askQuestion (nullptr, dropQuestion, {}); },
        [&] { launcher.askForText (nullptr, presetName(), {}); },
        [&] { launcher.showMessage (nullptr, "Presets", "The presets file could not be written."); },
    };

    for (const auto& open : opens)
    {
        open();
        auto* window = frontAlertWindow();
        ASSERT_NE (window, nullptr);
        SCOPED_TRACE (window->getName());

        int buttons = 0;
        for (auto* child : window->getChildren())
        {
            auto* button = dynamic_cast<juce::TextButton*> (child);
            if (button == nullptr)
                continue;

            ++buttons;
            const auto image = snapshot (*button);
            const auto h = image.getHeight();
            EXPECT_EQ (image.getPixelAt (4, h / 2), buttonColour) << button->getButtonText();

            // The caption: nothing brighter than light grey, and some of it that light.
            juce::uint8 brightest = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < image.getWidth(); ++x)
                    brightest = juce::jmax (brightest, image.getPixelAt (x, y).getGreen());
            EXPECT_EQ (brightest, juce::Colours::lightgrey.getGreen()) << button->getButtonText();
        }
        EXPECT_EQ (buttons, window->getNumButtons());

        if (auto* field = window->getTextEditor ("presetName"))
        {
            // The name is selected for typing over once the field has the focus.
            EXPECT_TRUE (runUntil ([&] { return field->hasKeyboardFocus (false); }));
            const auto image = snapshot (*field);
            EXPECT_EQ (image.getPixelAt (image.getWidth() - 4, image.getHeight() / 2), fieldColour);
            EXPECT_GT (countPixels (image, image.getBounds(), selectionColour.getARGB()), 20);
        }

        launcher.dismissAll();
        runFor (20);
    }
}

TEST (Dialogs, ADismissedDialogsLateEndLeavesTheNextDialogOpen)
{
    ASSERT_TRUE (hasDisplay()) << "needs the test program's private X server (Xvfb)";
    AlertWindowLauncher launcher;

    // The framework reports a dismissed window's end once the loop runs again, by when the next window may stand
    // where it stood.
    for (int round = 0; round < 4; ++round)
    {
        int dismissedAnswers = 0;
        launcher.askQuestion (nullptr, dropQuestion, [&] (int) { ++dismissedAnswers; });
        launcher.dismissAll();

        int answer = -1;
        launcher.askQuestion (nullptr, dropQuestion, [&] (int result) { answer = result; });
        runFor (50);
        EXPECT_EQ (launcher.getNumOpenDialogs(), 1) << round;
        ASSERT_EQ (numModalWindows(), 1) << round;
        EXPECT_EQ (answer, -1) << round;

        press (*frontAlertWindow(), "No");
        EXPECT_TRUE (runUntil ([&] { return answer != -1; }));
        EXPECT_EQ (answer, 2);
        EXPECT_EQ (dismissedAnswers, 0);
        EXPECT_TRUE (runUntil ([] { return numModalWindows() == 0; }));
    }
}
