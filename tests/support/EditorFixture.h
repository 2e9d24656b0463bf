#pragma once

#include "ProcessorHarness.h"
#include "editor/PluginEditor.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace editor_testing
{
/** The plug-in as a host shows it: the processor prepared and playing, and its editor open on this thread, which
    is the message thread. Never put on the desktop. */
class EditorHarness
{
public:
    explicit EditorHarness (int blockSize = 512) : host (48000.0, blockSize) { openEditor(); }
    ~EditorHarness() { closeEditor(); }

    OstrelAudioProcessor& processor() { return *host.processor; }
    OstrelAudioProcessorEditor& editor() { return *window; }

    /** Opens the editor the way hosts do, through createEditorIfNeeded. */
    void openEditor()
    {
        window.reset (dynamic_cast<OstrelAudioProcessorEditor*> (host.processor->createEditorIfNeeded()));
    }

    void closeEditor() { window.reset(); }

    /** One block as the framework's audio callback runs it: under the processor's callback lock. */
    const juce::AudioBuffer<float>& process (int numSamples, const std::vector<block_testing::Event>& events = {})
    {
        const juce::ScopedLock lock (host.processor->getCallbackLock());
        return host.process (numSamples, events);
    }

    block_testing::ProcessorHarness host;
    std::unique_ptr<OstrelAudioProcessorEditor> window;
};

//==============================================================================
/** A synthesised mouse event on component c at position, as the framework would deliver it; clicks counts the
    quick presses it ends (2 for the second press of a double click). */
inline juce::MouseEvent mouseEventAt (juce::Component& c,
                                      juce::Point<int> position,
                                      juce::ModifierKeys mods,
                                      juce::Point<int> downPosition,
                                      bool dragged,
                                      int clicks = 1)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(),
                             position.toFloat(),
                             mods,
                             juce::MouseInputSource::defaultPressure,
                             juce::MouseInputSource::defaultOrientation,
                             juce::MouseInputSource::defaultRotation,
                             juce::MouseInputSource::defaultTiltX,
                             juce::MouseInputSource::defaultTiltY,
                             &c,
                             &c,
                             now,
                             downPosition.toFloat(),
                             now,
                             clicks,
                             dragged);
}

/** Press and release at one point; mods hold the button (left unless said) and any keys. */
inline void
click (juce::Component& c, juce::Point<int> at, juce::ModifierKeys mods = juce::ModifierKeys::leftButtonModifier)
{
    c.mouseDown (mouseEventAt (c, at, mods, at, false));
    c.mouseUp (mouseEventAt (c, at, mods, at, false));
}

inline void rightClick (juce::Component& c, juce::Point<int> at)
{
    click (c, at, juce::ModifierKeys::rightButtonModifier);
}

/** Press at from, move to to in steps, release there. */
inline void drag (juce::Component& c,
                  juce::Point<int> from,
                  juce::Point<int> to,
                  juce::ModifierKeys mods = juce::ModifierKeys::leftButtonModifier,
                  int steps = 8)
{
    c.mouseDown (mouseEventAt (c, from, mods, from, false));
    for (int i = 1; i <= steps; ++i)
        c.mouseDrag (mouseEventAt (c, from + (to - from) * i / steps, mods, from, true));
    c.mouseUp (mouseEventAt (c, to, mods, from, true));
}

/** The component's own pixels, painted at scale 1 without a display. */
inline juce::Image snapshot (juce::Component& c) { return c.createComponentSnapshot (c.getLocalBounds(), true, 1.0f); }

/** Pixel (x, y) of image as 0xAARRGGBB. */
inline juce::uint32 pixel (const juce::Image& image, int x, int y) { return image.getPixelAt (x, y).getARGB(); }

/** How many pixels of image inside area are of colour argb. */
inline int countPixels (const juce::Image& image, juce::Rectangle<int> area, juce::uint32 argb)
{
    int count = 0;
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (pixel (image, x, y) == argb)
                ++count;
    return count;
}

/** Runs the message loop until condition holds or timeoutMs passes; whether it held. */
inline bool runUntil (std::function<bool()> condition, int timeoutMs = 2000)
{
    return testing_helpers::waitFor (std::move (condition), timeoutMs);
}

/** Runs the message loop for ms: timers fire and posted work runs. */
inline void runFor (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

//==============================================================================
/** Stands in for the keyboard: records what the host-note display showed on each key. */
struct RecordingKeyboard : public HostNoteKeyboard
{
    void showHostNote (const juce::String& keyName, bool on) override
    {
        keys[keyName] = on;
        shown.push_back ({ keyName, on });
    }

    std::map<juce::String, bool> keys;
    std::vector<std::pair<juce::String, bool>> shown;
};

/** What a FakeDialogLauncher was asked, kept apart from it so that a test still sees it once the editor that
    owned the launcher is gone. */
struct FakeDialogs
{
    struct Request
    {
        enum class Kind
        {
            question,
            textEntry,
            message
        };

        Kind kind;
        juce::Component* owner = nullptr;
        juce::String title, message;
        std::vector<DialogLauncher::Button> buttons;
        DialogLauncher::TextEntry textEntry;
        std::function<void (int)> onResult;
        std::function<void (int, const juce::String&)> onText;
        bool open = true;
    };

    /** Answers request index as a press of the button with result would; text for a text entry. */
    void answer (size_t index, int result, const juce::String& text = {})
    {
        auto& request = requests.at (index);
        ASSERT_TRUE (request.open) << "answering a dialog that is gone";
        request.open = false;

        // An answer may open another dialog, which can move the requests: nothing of this one is read after it.
        const auto onResult = request.onResult;
        const auto onText = request.onText;
        if (onResult)
            onResult (result);
        if (onText)
            onText (result, text);
    }

    int numOpen() const
    {
        return (int) std::count_if (requests.begin(), requests.end(), [] (const Request& r) { return r.open; });
    }

    std::vector<Request> requests;
    int dismissals = 0;
};

/** Stands in for the alert windows: records every request and lets the test answer it. */
class FakeDialogLauncher : public DialogLauncher
{
public:
    explicit FakeDialogLauncher (std::shared_ptr<FakeDialogs> record) : dialogs (std::move (record)) {}

    void askQuestion (juce::Component* owner, const Question& q, std::function<void (int)> onResult) override
    {
        dialogs->requests.push_back ({ FakeDialogs::Request::Kind::question,
                                       owner,
                                       q.title,
                                       q.message,
                                       q.buttons,
                                       {},
                                       std::move (onResult),
                                       {} });
    }

    void askForText (juce::Component* owner,
                     const TextEntry& entry,
                     std::function<void (int, const juce::String&)> onResult) override
    {
        dialogs->requests.push_back ({ FakeDialogs::Request::Kind::textEntry,
                                       owner,
                                       entry.title,
                                       entry.message,
                                       entry.buttons,
                                       entry,
                                       {},
                                       std::move (onResult) });
    }

    void showMessage (juce::Component* owner, const juce::String& title, const juce::String& message) override
    {
        dialogs->requests.push_back (
            { FakeDialogs::Request::Kind::message, owner, title, message, { { "OK", 1, 13 } }, {}, {}, {} });
    }

    void dismissAll() override
    {
        for (auto& request : dialogs->requests)
            request.open = false;
        ++dialogs->dismissals;
    }

private:
    std::shared_ptr<FakeDialogs> dialogs;
};
} // namespace editor_testing
