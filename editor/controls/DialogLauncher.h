#pragma once

#include <JuceHeader.h>

#include <functional>
#include <vector>

/** Opens the editor's dialogs. Panels ask through it, so that tests can stand in for the windows. Every request
    returns at once; its answer arrives later on the message thread, or never when the dialog is dismissed.
    [message thread] */
class DialogLauncher
{
public:
    struct Button
    {
        juce::String text;
        int result = 0;
        /** Key code of the key that presses it (13 Return, 27 Escape); 0 for none. */
        int shortcutKey = 0;
    };

    struct Question
    {
        juce::String title, message;
        juce::MessageBoxIconType icon = juce::MessageBoxIconType::QuestionIcon;
        std::vector<Button> buttons;
    };

    struct TextEntry
    {
        juce::String title, message;
        juce::MessageBoxIconType icon = juce::MessageBoxIconType::NoIcon;
        juce::String editorName, initialText, label;
        std::vector<Button> buttons;
        /** Called whenever the text changes, with the dialog's editor. */
        std::function<void (juce::TextEditor&)> onTextChange;
    };

    virtual ~DialogLauncher() = default;

    /** Asks a question; onResult receives the result of the button pressed. owner is the window it belongs to. */
    virtual void askQuestion (juce::Component* owner, const Question&, std::function<void (int result)> onResult) = 0;
    /** Asks for a text; onResult receives the result of the button pressed and the text as it stands then. */
    virtual void askForText (juce::Component* owner,
                             const TextEntry&,
                             std::function<void (int result, const juce::String& text)> onResult) = 0;
    /** Tells the user something; one "OK" button. */
    virtual void showMessage (juce::Component* owner, const juce::String& title, const juce::String& message) = 0;
    /** Closes every open dialog unanswered: none of their callbacks runs after this. */
    virtual void dismissAll() = 0;

    /** The window that owns a launcher, found by the panels inside it. */
    class Owner
    {
    public:
        virtual ~Owner() = default;
        virtual DialogLauncher& getDialogLauncher() = 0;
    };

    /** The launcher of the innermost Owner holding component (component itself included); null when none does. */
    static DialogLauncher* findFor (juce::Component& component);
};
