#pragma once

#include "DialogLauncher.h"

/** The editor's dialogs as the framework's alert windows, shown modally without blocking. It owns the windows
    it opens; dismissing them (or destroying the launcher) closes them without calling back. */
class AlertWindowLauncher : public DialogLauncher
{
public:
    AlertWindowLauncher() = default;
    ~AlertWindowLauncher() override;

    void askQuestion (juce::Component* owner, const Question&, std::function<void (int)> onResult) override;
    void askForText (juce::Component* owner,
                     const TextEntry&,
                     std::function<void (int, const juce::String&)> onResult) override;
    void showMessage (juce::Component* owner, const juce::String& title, const juce::String& message) override;
    void dismissAll() override;

    int getNumOpenDialogs() const noexcept { return (int) dialogs.size(); }

    /** The dialogs' look: the framework's, with the dialogs' own colours for the window, its buttons and its text
        field. A colour set on a window reaches the window alone, while its buttons and field draw with the
        look-and-feel they inherit from it. */
    class DialogLookAndFeel : public juce::LookAndFeel_V4
    {
    public:
        DialogLookAndFeel();
    };

private:
    struct OpenDialog
    {
        /** Declared before the window, which draws with it, so that it goes after the window. */
        std::unique_ptr<DialogLookAndFeel> look;
        std::unique_ptr<juce::AlertWindow> window;
        std::function<void (int)> onResult;
        /** Told apart by number, not by address: a dismissed window's end is still reported later, when a newer
            window may have been made at its address. */
        juce::uint64 id = 0;
    };

    OpenDialog create (juce::Component* owner,
                       const juce::String& title,
                       const juce::String& message,
                       juce::MessageBoxIconType icon,
                       const std::vector<Button>& buttons);
    void show (OpenDialog dialog, std::function<void (int)> onResult);
    void finished (juce::uint64 id, int result);

    std::vector<OpenDialog> dialogs;
    juce::uint64 lastId = 0;

    JUCE_DECLARE_WEAK_REFERENCEABLE (AlertWindowLauncher)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlertWindowLauncher)
};
