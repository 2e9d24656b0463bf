// What the host is told while the user works the window: every change of a control comes inside a gesture of its
// parameter (touch and latch automation record it, undo groups it), and a press that only picks a modulation
// target tells the host nothing.
#include "EditorFixture.h"
#include "PictureFixtures.h"

using namespace editor_testing;

namespace
{
/** The host's side: what the processor reports to its listeners, in order. */
struct HostRecord : public juce::AudioProcessorListener
{
    struct Event
    {
        enum Kind
        {
            begin,
            change,
            end
        };

        Kind kind;
        int index;
        float value;
    };

    void audioProcessorParameterChanged (juce::AudioProcessor*, int index, float v) override
    {
        events.push_back ({ Event::change, index, v });
    }
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ Event::begin, index, 0.0f });
    }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override
    {
        events.push_back ({ Event::end, index, 0.0f });
    }
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}

    /** The events as text, "b7 v7 v7 e7", for readable failures. */
    std::string text() const
    {
        std::string s;
        for (const auto& e : events)
            s += std::string (e.kind == Event::begin    ? " b"
                              : e.kind == Event::change ? " v"
                                                        : " e")
                 + std::to_string (e.index);
        return s;
    }

    std::vector<Event> events;
};

/** Listens to processor's reports for as long as it lives. */
struct ListeningHost
{
    explicit ListeningHost (juce::AudioProcessor& p) : processor (p) { processor.addListener (&record); }
    ~ListeningHost() { processor.removeListener (&record); }

    juce::AudioProcessor& processor;
    HostRecord record;
};

int indexOf (OstrelAudioProcessor& processor, const juce::String& paramID)
{
    return processor.valueTreeState.getParameter (paramID)->getParameterIndex();
}

/** Whether events are begin, at least one value, end, all of parameter index. */
bool isOneGestureOf (const std::vector<HostRecord::Event>& events, int index)
{
    if (events.size() < 3 || events.front().kind != HostRecord::Event::begin
        || events.back().kind != HostRecord::Event::end)
        return false;

    for (size_t i = 0; i < events.size(); ++i)
        if (events[i].index != index
            || ((i != 0 && i + 1 != events.size()) && events[i].kind != HostRecord::Event::change))
            return false;

    return true;
}

/** Whether events are one or more whole gestures of parameter index, one after the other; a press that changed
    nothing may leave a gesture with no value. */
bool areWholeGesturesOf (const std::vector<HostRecord::Event>& events, int index)
{
    if (events.empty())
        return false;

    for (auto first = events.begin(); first != events.end();)
    {
        const auto last = std::find_if (first,
                                        events.end(),
                                        [] (const HostRecord::Event& e) { return e.kind == HostRecord::Event::end; });
        if (last == events.end())
            return false;

        const auto empty = last == first + 1 && first->kind == HostRecord::Event::begin && first->index == index
                           && last->index == index;
        if (!empty && !isOneGestureOf ({ first, last + 1 }, index))
            return false;
        first = last + 1;
    }

    return true;
}

struct PickedTargets : public MySliderChangeListener
{
    void sliderIndexChanged (int row) override { rows.push_back (row); }
    std::vector<int> rows;
};

/** Two presses quickly at one point, as the framework delivers them: the second press counts two clicks, and the
    double click comes after its release. */
void doubleClick (juce::Component& c, juce::Point<int> at, juce::ModifierKeys mods)
{
    const auto event = [&] (int clicks) { return mouseEventAt (c, at, mods, at, false, clicks); };

    c.mouseDown (event (1));
    c.mouseUp (event (1));
    c.mouseDown (event (2));
    c.mouseUp (event (2));
    c.mouseDoubleClick (event (2));
}
} // namespace

TEST (HostGestures, EveryPressOfAControlThatChangesItsValueIsOneGestureOfItsParameterAlone)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& editor = harness.editor();
    auto& global = editor.globalSynthPanel;
    ListeningHost host (processor);

    // The two bars handle the mouse themselves; the knob and the matrix cell leave it to the framework's slider.
    struct Case
    {
        const char* what;
        juce::Slider& control;
        juce::String paramID;
        juce::Point<int> from, to;
        bool clickSetsValue; // a knob moves only when dragged
    };
    auto& cell = *editor.lfoGrid->grid.sliders[0];
    const Case cases[] = {
        { "Tune Image bar", *global.sliders[6], "fineTuneImg", { 10, 25 }, { 90, 25 }, true },
        { "Tune 2. Osc bar", *global.sliders[7], "fineTuneMain", { 90, 25 }, { 20, 25 }, true },
        { "Gain knob", *global.sliders[0], "Gain", { 30, 50 }, { 30, 10 }, false },
        { "matrix cell",
          cell,
          createParamIDforMatrix (processor.lfoSourceNames[0], processor.modulationTargetIds[0]),
          { 2, 10 },
          { cell.getWidth() - 2, 10 },
          true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        const auto index = indexOf (processor, c.paramID);
        processor.getParameters()[index]->setValueNotifyingHost (0.5f); // room to move either way
        const auto before = harness.host.raw (c.paramID);

        host.record.events.clear();
        drag (c.control, c.from, c.to);
        EXPECT_TRUE (isOneGestureOf (host.record.events, index)) << host.record.text();
        EXPECT_NE (harness.host.raw (c.paramID), before);
        ASSERT_FALSE (host.record.events.empty());
        EXPECT_FLOAT_EQ (host.record.events[host.record.events.size() - 2].value,
                         processor.getParameters()[index]->getValue())
            << "the last value told is the one it holds";

        if (!c.clickSetsValue)
            continue;

        // A click without a drag as well.
        host.record.events.clear();
        click (c.control, c.from);
        EXPECT_TRUE (isOneGestureOf (host.record.events, index)) << host.record.text();
    }
}

TEST (HostGestures, APickingPressOnABarOnlyPicksHoweverQuicklyTwoCome)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& bar = *harness.editor().globalSynthPanel.sliders[6];
    const auto index = indexOf (processor, "fineTuneImg");
    PickedTargets picked;
    processor.addSliderChangeListener (&picked);
    ListeningHost host (processor);

    const auto ctrl = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier | juce::ModifierKeys::ctrlModifier);
    for (const auto mods : { juce::ModifierKeys (juce::ModifierKeys::rightButtonModifier), ctrl })
    {
        SCOPED_TRACE (mods.isCtrlDown() ? "Ctrl" : "right button");
        harness.host.set ("fineTuneImg", 5.0f); // not its default
        host.record.events.clear();
        picked.rows.clear();

        click (bar, { 30, 25 }, mods);
        drag (bar, { 10, 25 }, { 90, 25 }, mods);
        doubleClick (bar, { 80, 25 }, mods);

        EXPECT_EQ (picked.rows, std::vector<int> (4, processor.parameterIndex.at ("fineTuneImg")));
        EXPECT_EQ (harness.host.raw ("fineTuneImg"), 5.0f);
        EXPECT_EQ (host.record.text(), "");
    }

    // A plain double click still returns the bar to its default, each of its changes a gesture.
    doubleClick (bar, { 80, 25 }, juce::ModifierKeys::leftButtonModifier);
    EXPECT_EQ (harness.host.raw ("fineTuneImg"), 0.0f);
    EXPECT_TRUE (areWholeGesturesOf (host.record.events, index)) << host.record.text();
    EXPECT_TRUE (picked.rows.size() == 4) << "a plain click picks nothing";

    processor.removeSliderChangeListener (&picked);
}

TEST (HostGestures, ResetAndTheDropDialogsYesMakeEachChangeAWholeGesture)
{
    const auto picture =
        picture_fixtures::writePng ("gesture.png", picture_fixtures::filledPicture (8, 8, juce::Colours::white));

    struct Case
    {
        const char* what;
        std::function<void (EditorHarness&, FakeDialogs&)> reset;
    };
    const Case cases[] = {
        { "Reset", [] (EditorHarness& h, FakeDialogs&) { h.editor().globalSynthPanel.resetButton.onClick(); } },
        { "drop, Yes",
          [picture] (EditorHarness& h, FakeDialogs& dialogs)
          {
              h.editor().waveFormGUI.parentTargetArea.targetArea.filesDropped ({ picture }, 0, 0);
              ASSERT_EQ (dialogs.requests.size(), 1u);
              dialogs.answer (0, 1);
          } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        EditorHarness harness;
        auto& processor = harness.processor();
        const auto dialogs = std::make_shared<FakeDialogs>();
        harness.editor().setDialogLauncher (std::make_unique<FakeDialogLauncher> (dialogs));

        const std::pair<const char*, float> changed[] = { { "Gain", -20.0f },
                                                          { "fineTuneImg", 5.0f },
                                                          { "Mod_LFO1_Gain", 0.5f },
                                                          { "filterType", 1.0f } };
        for (const auto& [paramID, raw] : changed)
            harness.host.set (paramID, raw);

        ListeningHost host (processor);
        c.reset (harness, *dialogs);

        // Begin, the default, end: one triple per changed parameter, in parameter order, and nothing else.
        std::vector<int> indices;
        for (const auto& [paramID, raw] : changed)
            indices.push_back (indexOf (processor, paramID));
        std::sort (indices.begin(), indices.end());

        const auto& events = host.record.events;
        ASSERT_EQ (events.size(), 3 * indices.size()) << host.record.text();
        for (size_t k = 0; k < indices.size(); ++k)
        {
            const std::vector<HostRecord::Event> gesture (events.begin() + (long) (3 * k),
                                                          events.begin() + (long) (3 * k + 3));
            EXPECT_TRUE (isOneGestureOf (gesture, indices[k])) << host.record.text();
            EXPECT_EQ (gesture[1].value, processor.getParameters()[indices[k]]->getDefaultValue());
        }
    }
}

TEST (HostGestures, AWindowClosedDuringADragEndsTheGesture)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    ListeningHost host (processor);
    const auto index = indexOf (processor, "fineTuneImg");

    auto& bar = *harness.editor().globalSynthPanel.sliders[6];
    bar.mouseDown (mouseEventAt (bar, { 80, 25 }, juce::ModifierKeys::leftButtonModifier, { 80, 25 }, false));
    harness.closeEditor();

    EXPECT_TRUE (isOneGestureOf (host.record.events, index)) << host.record.text();
}
