// The picture area: where its parts go, which drags it takes, what a drop and its dialog do (and do not do), and
// the scan overlay, the circle-mode arrows and the waveform window as they are painted.
#include "EditorFixture.h"
#include "PictureFixtures.h"
#include "RepaintRecorder.h"
#include "editor/controls/AlertWindowLauncher.h"
#include "processor/picture/BrightnessGrid.h"

using namespace editor_testing;
using namespace picture_fixtures;

namespace
{
using R = juce::Rectangle<int>;

TargetArea& pictureView (EditorHarness& harness) { return harness.editor().waveFormGUI.parentTargetArea.targetArea; }

std::shared_ptr<FakeDialogs> fakeDialogs (EditorHarness& harness)
{
    auto dialogs = std::make_shared<FakeDialogs>();
    harness.editor().setDialogLauncher (std::make_unique<FakeDialogLauncher> (dialogs));
    return dialogs;
}

juce::String statePath (OstrelAudioProcessor& processor)
{
    return processor.valueTreeState.state.getChildWithName ("ImagePath").getProperty ("path").toString();
}

/** Sets raw values and runs a block, so that the current values the views read follow. */
void setAndProcess (EditorHarness& harness, std::initializer_list<std::pair<const char*, float>> values)
{
    for (const auto& [paramID, raw] : values)
        harness.host.set (paramID, raw);
    harness.process (64);
}

/** A black picture, playing, so that whatever the overlay draws stands out. */
void playBlackPicture (EditorHarness& harness)
{
    harness.processor().loadFile (writePng ("black.png", filledPicture (8, 8, juce::Colours::black)), false);
}

bool isYellowish (juce::Colour c) { return c.getRed() > 200 && c.getGreen() > 150 && c.getBlue() < 90; }
bool isBlack (juce::Colour c) { return c.getRed() < 8 && c.getGreen() < 8 && c.getBlue() < 8; }

/** Whether any pixel within radius of (x, y) passes test. */
bool anyNear (const juce::Image& image, int x, int y, int radius, std::function<bool (juce::Colour)> test)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (image.getBounds().contains (x + dx, y + dy) && test (image.getPixelAt (x + dx, y + dy)))
                return true;
    return false;
}

/** The grid of the picture playing, once the image thread has drawn all of it: a pass writes the grid while it
    runs, so a copy taken during the first one holds part of it only. */
std::vector<float> settledGrid (OstrelAudioProcessor& processor)
{
    EXPECT_TRUE (runUntil ([&] { return gridAt (processor, 10, 10) != 0.0f; }, 5000));

    juce::Image picture;
    {
        const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
        picture = processor.transformedImage.createCopy();
    }

    std::vector<std::atomic<float>> cells ((size_t) (OstrelAudioProcessor::gridSize * OstrelAudioProcessor::gridSize));
    writeBrightnessGrid (picture, cells.data());
    std::vector<float> grid;
    for (const auto& cell : cells)
        grid.push_back (cell.load());

    EXPECT_TRUE (runUntil ([&] { return gridCopy (processor) == grid; }, 5000));
    return grid;
}

int differingPixels (const juce::Image& a, const juce::Image& b)
{
    int count = 0;
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                ++count;
    return count;
}
} // namespace

TEST (PictureArea, PartsAreWhereTheWindowPutsThem)
{
    EditorHarness harness;
    auto& e = harness.editor();
    const std::vector<std::pair<juce::Component*, R>> placed{
        { &e.waveFormGUI.parentTargetArea, { 1, 1, 312, 264 } },
        { &pictureView (harness), { 0, 0, 312, 264 } },
        { &e.waveFormGUI.waveFormWindow, { 1, 267, 312, 42 } },
        { &e.visualiserRect, { 608, 401, 291, 65 } },
        { &e.visualiserRect.visualiser, { 2, 2, 289, 63 } },
        { &e.visualiserRect.title, { 110, 4, 70, 20 } },
        { &e.spectrumPanel, { 608, 468, 291, 131 } },
        { &e.spectrumPanel.spectrumView, { 2, 2, 287, 127 } },
        { &e.spectrumPanel.spectrumView.title, { 108, 4, 70, 20 } },
    };

    for (const auto& [component, bounds] : placed)
    {
        EXPECT_EQ (component->getBounds(), bounds) << component->getBounds().toString();
        EXPECT_TRUE (component->isVisible());
    }

    EXPECT_EQ (e.visualiserRect.title.getText(), "Waves");
    EXPECT_EQ (e.spectrumPanel.spectrumView.title.getText(), "Spectrum");
    EXPECT_EQ (e.visualiserRect.getIndexOfChildComponent (&e.visualiserRect.title), 1) << "the title lies on top";
}

TEST (PictureArea, DragsOfPictureFilesAreTakenWhateverTheCaseOfTheirNames)
{
    EditorHarness harness;
    auto& view = pictureView (harness);
    const auto dialogs = fakeDialogs (harness);

    struct Case
    {
        juce::StringArray files;
        bool accepted;
        int dialogs; // when dropped
    };
    const Case cases[] = {
        { { "/p/photo.jpg" }, true, 1 },
        { { "/p/IMG_0001.JPG" }, true, 1 },
        { { "/p/x.Png" }, true, 1 },
        { { "/p/x.jpeg" }, true, 1 },
        { { "/p/ANIM.GIF" }, true, 1 },
        { { "/p/old.bmp" }, true, 1 },
        { { "/p/x.jpg.txt" }, true, 1 }, // the name test looks anywhere in the path
        { { "/p/README" }, false, 0 },
        { { "/p/notes.txt" }, false, 0 },
        { {}, false, 0 },
        { { "/p/notes.txt", "/p/photo.jpg" }, true, 1 },
        { { "/p/a.png", "/p/b.txt", "/p/C.GIF" }, true, 2 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.files.joinIntoString (", "));
        EXPECT_EQ (view.isInterestedInFileDrag (c.files), c.accepted);

        dialogs->requests.clear();
        view.filesDropped (c.files, 10, 10);
        ASSERT_EQ ((int) dialogs->requests.size(), c.dialogs);

        for (const auto& request : dialogs->requests)
        {
            EXPECT_EQ (request.kind, FakeDialogs::Request::Kind::question);
            EXPECT_EQ (request.owner, &harness.editor()) << "the dialog belongs to the window";
            EXPECT_EQ (request.title, "Confirmation");
            EXPECT_EQ (request.message, "Do you want to init all parameters?");
            ASSERT_EQ (request.buttons.size(), 3u);
            EXPECT_EQ (request.buttons[0].text, "Yes");
            EXPECT_EQ (request.buttons[0].result, 1);
            EXPECT_EQ (request.buttons[0].shortcutKey, juce::KeyPress::returnKey);
            EXPECT_EQ (request.buttons[1].text, "No");
            EXPECT_EQ (request.buttons[1].result, 2);
            EXPECT_EQ (request.buttons[1].shortcutKey, 0);
            EXPECT_EQ (request.buttons[2].text, "Cancel");
            EXPECT_EQ (request.buttons[2].result, 0);
            EXPECT_EQ (request.buttons[2].shortcutKey, juce::KeyPress::escapeKey);
        }
    }
}

TEST (PictureArea, YesInitsTheParametersAndLoadsNoOnlyLoadsCancelDoesNothing)
{
    struct Case
    {
        const char* name;
        int answer;
        bool loads, resets;
    };
    for (const auto& c :
         { Case{ "Yes", 1, true, true }, Case{ "No", 2, true, false }, Case{ "Cancel", 0, false, false } })
    {
        SCOPED_TRACE (c.name);
        EditorHarness harness;
        auto& processor = harness.processor();
        auto& view = pictureView (harness);
        const auto dialogs = fakeDialogs (harness);

        const auto black = writePng ("black.png", filledPicture (8, 8, juce::Colours::black));
        const auto white = writePng ("white.PNG", filledPicture (8, 8, juce::Colours::white));
        processor.loadFile (black, false);
        harness.host.set ("Gain", -20.0f);
        harness.host.set ("Mod_LFO1_Gain", 0.5f);

        view.filesDropped ({ white }, 0, 0);
        ASSERT_EQ (dialogs->requests.size(), 1u);
        EXPECT_EQ (processor.getImagePath(), black) << "nothing happens before the answer";

        auto& recorder = RepaintRecorder::install (view);
        dialogs->answer (0, c.answer);
        const auto repaints = recorder.repaints;
        RepaintRecorder::remove (view);

        EXPECT_EQ (processor.getImagePath(), c.loads ? white : black);
        EXPECT_EQ (statePath (processor), c.loads ? white : black);
        EXPECT_EQ (harness.host.raw ("Gain"), c.resets ? 0.0f : -20.0f);
        EXPECT_EQ (harness.host.raw ("Mod_LFO1_Gain"), c.resets ? 0.0f : 0.5f);
        EXPECT_EQ (repaints > 0, c.answer != 0);
        EXPECT_EQ (dialogs->requests.size(), 1u) << "no message for a picture";

        // The image thread draws the new picture into the grid.
        if (c.loads)
            EXPECT_TRUE (runUntil ([&] { return gridAt (processor, 100, 100) == 1.0f; }));
        else
            EXPECT_EQ (gridAt (processor, 100, 100), 0.0f);
    }
}

TEST (PictureArea, AFileThatIsNoPictureLeavesThePictureAndTheSoundAndTellsTheUser)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    auto& view = pictureView (harness);
    const auto dialogs = fakeDialogs (harness);

    const auto good = writePng ("good.png", noisePicture (64, 64, juce::Image::RGB, 80));
    const auto png = encodePng (noisePicture (64, 64, juce::Image::RGB, 81));
    const auto folder = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("a.png");
    ASSERT_TRUE (folder.createDirectory());

    processor.loadFile (good, false);
    const auto grid = settledGrid (processor);
    harness.host.set ("Gain", -20.0f);
    std::vector<block_testing::Event> note{ block_testing::noteOn (0, 60) };
    for (int i = 0; i < 8; ++i)
        harness.process (512, i == 0 ? note : std::vector<block_testing::Event>{});

    const std::vector<std::pair<const char*, juce::String>> bad{
        { "truncated PNG", writeFile ("cut.png", truncated (png, png.getSize() / 2)) },
        { "BMP", writeFile ("old.bmp", encodeBmp (noisePicture (8, 8, juce::Image::RGB, 82))) },
        { "folder a.png", folder.getFullPathName() },
        { "text as JPG", writeFile ("notes.JPG", juce::MemoryBlock ("not a picture", 13)) },
    };

    int answer = TargetArea::yes;
    for (const auto& [name, path] : bad)
    {
        SCOPED_TRACE (name);
        const auto* picture = processor.transformedImage.getPixelData();
        std::vector<std::vector<float>> tables;
        for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
            tables.push_back (tableCopy (processor, i));

        dialogs->requests.clear();
        view.filesDropped ({ path }, 0, 0);
        ASSERT_EQ (dialogs->requests.size(), 1u);
        dialogs->answer (0, answer);
        answer = answer == TargetArea::yes ? TargetArea::no : TargetArea::yes;

        EXPECT_EQ (processor.getImagePath(), good);
        EXPECT_EQ (statePath (processor), good);
        EXPECT_EQ (processor.transformedImage.getPixelData(), picture);
        for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
            EXPECT_EQ (tableCopy (processor, i), tables[(size_t) i]) << "voice " << i;
        EXPECT_EQ (harness.host.raw ("Gain"), -20.0f) << "Yes inits nothing for a file that is no picture";

        ASSERT_EQ (dialogs->requests.size(), 2u);
        const auto& message = dialogs->requests[1];
        EXPECT_EQ (message.kind, FakeDialogs::Request::Kind::message);
        EXPECT_EQ (message.owner, &harness.editor());
        EXPECT_EQ (message.title, TargetArea::unreadableTitle);
        EXPECT_TRUE (message.message.contains (path));

        // The image thread goes on drawing the same picture.
        runFor (80);
        EXPECT_EQ (gridCopy (processor), grid);
    }
}

TEST (PictureArea, ADialogLeftOpenWhenTheWindowClosesLoadsNothing)
{
    EditorHarness harness;
    auto& processor = harness.processor();
    const auto black = writePng ("black.png", filledPicture (8, 8, juce::Colours::black));
    const auto white = writePng ("white.png", filledPicture (8, 8, juce::Colours::white));
    processor.loadFile (black, false);

    // An answer that comes after the window is gone, as a launcher that failed to dismiss it would give.
    {
        const auto dialogs = fakeDialogs (harness);
        pictureView (harness).filesDropped ({ white }, 0, 0);
        ASSERT_EQ (dialogs->requests.size(), 1u);
        harness.closeEditor();
        EXPECT_EQ (dialogs->numOpen(), 0) << "closing dismisses the dialog";
        dialogs->requests[0].onResult (TargetArea::yes);
        EXPECT_EQ (processor.getImagePath(), black);
    }

    // The real dialog, on the private X server.
    ASSERT_NE (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay(), nullptr) << "needs Xvfb";
    harness.openEditor();
    harness.host.set ("Gain", -20.0f);
    pictureView (harness).filesDropped ({ white, black }, 0, 0);
    EXPECT_EQ (juce::ModalComponentManager::getInstance()->getNumModalComponents(), 2);
    harness.closeEditor();
    EXPECT_EQ (juce::ModalComponentManager::getInstance()->getNumModalComponents(), 0);
    runFor (100);
    EXPECT_EQ (processor.getImagePath(), black);
    EXPECT_EQ (harness.host.raw ("Gain"), -20.0f);
}

TEST (PictureArea, WithoutAPictureTheViewAsksForOne)
{
    EditorHarness harness;
    const auto image = snapshot (pictureView (harness));
    int yellow = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (isYellowish (image.getPixelAt (x, y)))
                ++yellow;
    EXPECT_GT (yellow, 500) << "the prompts";
    EXPECT_TRUE (isBlack (image.getPixelAt (2, 2)));
}

TEST (PictureArea, TheScanLineSitsOnItsRowWithTheVelocityBandAroundIt)
{
    EditorHarness harness;
    playBlackPicture (harness);
    auto& view = pictureView (harness);

    // "Shift" 256 of 512 rows in a 264-pixel view: the bar at rows 132..134, a shadow row under it.
    setAndProcess (harness, { { "TypeCircle", 0.0f }, { "Shift", 256.0f }, { "VeloShift", 0.0f } });
    auto image = snapshot (view);
    for (int y = 125; y < 140; ++y)
    {
        SCOPED_TRACE (y);
        const auto c = image.getPixelAt (150, y);
        EXPECT_EQ (isYellowish (c), y >= 132 && y <= 134);
        if (y < 132 || y > 134)
        {
            EXPECT_TRUE (isBlack (c));
        }
        EXPECT_EQ (image.getPixelAt (5, y), c) << "the bar spans the view";
    }

    // "VeloShift" 0.1: 51 rows each way, 26 pixels, tinted faintly.
    setAndProcess (harness, { { "VeloShift", 0.1f } });
    image = snapshot (view);
    for (const auto& [y, tinted] :
         { std::pair{ 105, false }, { 106, true }, { 120, true }, { 157, true }, { 158, false } })
    {
        SCOPED_TRACE (y);
        const auto c = image.getPixelAt (150, y);
        EXPECT_EQ (!isBlack (c), tinted);
        if (tinted)
        {
            EXPECT_NEAR (c.getRed(), 0x4c, 2);
            EXPECT_NEAR (c.getGreen(), 0x4c, 2);
            EXPECT_EQ (c.getBlue(), 0);
        }
    }
}

TEST (PictureArea, TheScanCircleStartsRightOfItsCentreAndItsArrowsKeepMoving)
{
    EditorHarness harness;
    playBlackPicture (harness);
    auto& view = pictureView (harness);

    // Centre (256, 256), radius 100 grid units: 61 by 52 pixels around (156, 132) in the 312 x 264 view.
    setAndProcess (
        harness,
        { { "TypeCircle", 1.0f }, { "..", 256.0f }, { ":", 256.0f }, { "Shift", 200.0f }, { "VeloShift", 0.0f } });
    auto image = snapshot (view);
    for (const auto& [x, y] : { std::pair{ 95, 132 }, { 156, 80 }, { 156, 183 } })
        EXPECT_TRUE (anyNear (image, x, y, 1, isYellowish)) << x << ", " << y;
    for (const auto& [x, y] : { std::pair{ 156, 132 }, { 120, 132 }, { 156, 60 }, { 156, 205 }, { 80, 132 } })
        EXPECT_TRUE (isBlack (image.getPixelAt (x, y))) << x << ", " << y;

    // The red start marker, standing on the circle right of the centre.
    EXPECT_TRUE (anyNear (image, 216, 129, 1, [] (juce::Colour c) { return c.getRed() > 200 && c.getGreen() < 60; }));

    // Near 2^15 adding a step to a float that only grew would change nothing any more: the arrows would stop.
    view.arrowPhase = 32768.0f;
    auto previous = snapshot (view);
    int changes = 0;
    for (int paint = 0; paint < 6; ++paint)
    {
        EXPECT_GE (view.arrowPhase, 0.0f);
        EXPECT_LT (view.arrowPhase, 64.0f);
        auto next = snapshot (view);
        if (differingPixels (previous, next) > 0)
            ++changes;
        previous = next;
    }
    EXPECT_GE (changes, 2);
}

TEST (PictureArea, TheWaveformWindowDrawsTheFirstVoicesTableWithItsTrail)
{
    EditorHarness harness;
    auto& window = harness.editor().waveFormGUI.waveFormWindow;
    const auto h = window.getHeight();
    auto& feed = harness.processor().waveDisplayBuffer;

    const auto isOrange = [] (juce::Colour c) { return c.getRed() > 200 && c.getGreen() > 90 && c.getBlue() < 120; };

    // A table at +1 runs along the top edge, one at 0 along the centre line.
    std::vector<float> table ((size_t) OstrelAudioProcessor::wavetableSize, 1.0f);
    feed.write (table.data());
    auto image = snapshot (window);
    EXPECT_TRUE (anyNear (image, 150, 1, 1, isOrange));
    EXPECT_FALSE (anyNear (image, 150, h / 2, 2, isOrange));

    std::fill (table.begin(), table.end(), 0.0f);
    feed.write (table.data());
    for (int paint = 0; paint < 20; ++paint)
        image = snapshot (window);
    EXPECT_EQ (window.history.size(), 15u);
    EXPECT_TRUE (anyNear (image, 150, h / 2, 1, isOrange));
    EXPECT_FALSE (anyNear (image, 150, 1, 0, isOrange)) << "the +1 shape has left the trail";
}
