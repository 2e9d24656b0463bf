#include "AlertWindowLauncher.h"

AlertWindowLauncher::DialogLookAndFeel::DialogLookAndFeel()
{
    setColour (juce::AlertWindow::backgroundColourId, juce::Colour (0xff262626));
    setColour (juce::AlertWindow::textColourId, juce::Colours::white);
    setColour (juce::TextButton::buttonColourId, juce::Colour (0xff464646));
    setColour (juce::TextButton::textColourOffId, juce::Colours::lightgrey);
    setColour (juce::TextEditor::backgroundColourId, juce::Colour (0xff3a3a3a));
    setColour (juce::TextEditor::textColourId, juce::Colours::white);
    setColour (juce::TextEditor::highlightColourId, juce::Colour (0xff6464ff));
}

AlertWindowLauncher::~AlertWindowLauncher() { dismissAll(); }

AlertWindowLauncher::OpenDialog AlertWindowLauncher::create (juce::Component* owner,
                                                             const juce::String& title,
                                                             const juce::String& message,
                                                             juce::MessageBoxIconType icon,
                                                             const std::vector<Button>& buttons)
{
    OpenDialog dialog;
    dialog.look = std::make_unique<DialogLookAndFeel>();
    dialog.window = std::make_unique<juce::AlertWindow> (title, message, icon, owner);
    auto& window = *dialog.window;

    // Before anything is added, so that the buttons and the text field are made and laid out with its colours.
    window.setLookAndFeel (dialog.look.get());
    window.setColour (juce::AlertWindow::backgroundColourId, juce::Colour (0xff262626));
    window.setColour (juce::AlertWindow::textColourId, juce::Colours::white);

    for (const auto& button : buttons)
        window.addButton (button.text,
                          button.result,
                          button.shortcutKey != 0 ? juce::KeyPress (button.shortcutKey) : juce::KeyPress());

    window.setDropShadowEnabled (true);
    window.setAlwaysOnTop (true);
    return dialog;
}

void AlertWindowLauncher::show (OpenDialog dialog, std::function<void (int)> onResult)
{
    auto* shown = dialog.window.get();
    const auto id = ++lastId;
    dialog.onResult = std::move (onResult);
    dialog.id = id;
    dialogs.push_back (std::move (dialog));

    // The window may outlive the launcher's interest in it: the answer is only passed on while both are there.
    shown->enterModalState (true,
                            juce::ModalCallbackFunction::create (
                                [launcher = juce::WeakReference<AlertWindowLauncher> (this), id] (int result)
                                {
                                    if (auto* l = launcher.get())
                                        l->finished (id, result);
                                }),
                            false);
}

void AlertWindowLauncher::finished (juce::uint64 id, int result)
{
    const auto open =
        std::find_if (dialogs.begin(), dialogs.end(), [id] (const OpenDialog& dialog) { return dialog.id == id; });
    if (open == dialogs.end())
        return; // dismissed

    auto dialog = std::move (*open);
    dialogs.erase (open);

    // The callback may close the editor, and this launcher with it: nothing here is touched after it.
    if (dialog.onResult)
        dialog.onResult (result);
}

void AlertWindowLauncher::askQuestion (juce::Component* owner,
                                       const Question& question,
                                       std::function<void (int)> onResult)
{
    show (create (owner, question.title, question.message, question.icon, question.buttons), std::move (onResult));
}

void AlertWindowLauncher::askForText (juce::Component* owner,
                                      const TextEntry& entry,
                                      std::function<void (int, const juce::String&)> onResult)
{
    auto dialog = create (owner, entry.title, entry.message, entry.icon, entry.buttons);
    dialog.window->addTextEditor (entry.editorName, entry.initialText, entry.label, false);

    auto* editor = dialog.window->getTextEditor (entry.editorName);
    if (editor != nullptr && entry.onTextChange)
        editor->onTextChange = [editor, onTextChange = entry.onTextChange] { onTextChange (*editor); };

    // Read before the window goes: finished() calls back while it still owns it.
    auto* shown = dialog.window.get();
    show (std::move (dialog),
          [shown, name = entry.editorName, onResult = std::move (onResult)] (int result)
          {
              if (onResult)
                  onResult (result, shown->getTextEditorContents (name));
          });

    // The window takes the keyboard focus for its buttons; the user means to type the text straight away.
    if (editor != nullptr)
        editor->grabKeyboardFocus();
}

void AlertWindowLauncher::showMessage (juce::Component* owner, const juce::String& title, const juce::String& message)
{
    show (create (owner, title, message, juce::MessageBoxIconType::NoIcon, { { "OK", 1, juce::KeyPress::returnKey } }),
          {});
}

void AlertWindowLauncher::dismissAll()
{
    // The framework still reports these windows' end, later; finished() then finds nothing to pass on.
    auto closing = std::move (dialogs);
    dialogs.clear();
    closing.clear();
}
