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

private:
    struct OpenDialog
    {
        std::unique_ptr<juce::AlertWindow> window;
        std::function<void (int)> onResult;
    };

    std::unique_ptr<juce::AlertWindow> create (juce::Component* owner,
                                               const juce::String& title,
                                               const juce::String& message,
                                               juce::MessageBoxIconType icon,
                                               const std::vector<Button>& buttons);
    void show (std::unique_ptr<juce::AlertWindow> window, std::function<void (int)> onResult);
    void finished (juce::AlertWindow* window, int result);

    std::vector<OpenDialog> dialogs;

    JUCE_DECLARE_WEAK_REFERENCEABLE (AlertWindowLauncher)
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlertWindowLauncher)
};
