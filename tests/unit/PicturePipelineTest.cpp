#include "PictureFixtures.h"
#include "processor/picture/BrightnessGrid.h"

#include <cmath>
#include <thread>

using namespace picture_fixtures;
using testing_helpers::waitFor;

namespace
{
constexpr int gridSize = OstrelAudioProcessor::gridSize;

float brightness (juce::Colour colour)
{
    return (float) juce::jmax (colour.getRed(), colour.getGreen(), colour.getBlue()) / 255.0f;
}

/** Four quadrants of known colours. */
juce::Image quadrantsPicture (juce::Image::PixelFormat format)
{
    juce::Image picture (format, gridSize, gridSize, true);
    juce::Graphics g (picture);
    g.setColour (juce::Colour (10, 200, 30));
    g.fillRect (0, 0, 256, 256);
    g.setColour (juce::Colour (255, 0, 0));
    g.fillRect (256, 0, 256, 256);
    g.setColour (juce::Colour ((juce::uint8) 40, 40, 41, (juce::uint8) (format == juce::Image::ARGB ? 128 : 255)));
    g.fillRect (0, 256, 256, 256);
    return picture;
}

/** A white 4 x 4 dot centred at (centreX, centreY) on black. */
juce::Image dotPicture (int centreX, int centreY)
{
    auto picture = filledPicture (gridSize, gridSize, juce::Colours::black);
    picture.clear ({ centreX - 2, centreY - 2, 4, 4 }, juce::Colours::white);
    return picture;
}

/** The brightness-weighted centre of the grid, in picture coordinates. */
juce::Point<double> gridCentroid (const OstrelAudioProcessor& processor)
{
    double sum = 0.0, sumX = 0.0, sumY = 0.0;

    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
        {
            const double g = gridAt (processor, x, y);
            sum += g;
            sumX += g * (x + 0.5);
            sumY += g * (y + 0.5);
        }

    return { sumX / sum, sumY / sum };
}

float gridMaximum (const OstrelAudioProcessor& processor)
{
    float maximum = 0.0f;

    for (const auto& cell : processor.imageGrid)
        maximum = juce::jmax (maximum, cell.load());

    return maximum;
}

void expectGridMatchesTransformedPicture (const OstrelAudioProcessor& processor)
{
    int mismatches = 0;

    for (int x = 0; x < gridSize; ++x)
        for (int y = 0; y < gridSize; ++y)
            if (gridAt (processor, x, y) != brightness (processor.transformedImage.getPixelAt (x, y)))
                ++mismatches;

    EXPECT_EQ (mismatches, 0);
}

int numThreadsOfThisProcess()
{
    return juce::File ("/proc/self/task").getNumberOfChildFiles (juce::File::findDirectories);
}
} // namespace

TEST (PicturePipeline, GridIsTheBrightestComponentOfEachPixel)
{
    struct Case
    {
        const char* name;
        juce::MemoryBlock bytes;
        float tolerance; // JPEG is lossy
    };

    const std::vector<Case> cases{
        { "opaque PNG", encodePng (quadrantsPicture (juce::Image::RGB)), 0.0f },
        { "PNG with alpha", encodePng (quadrantsPicture (juce::Image::ARGB)), 0.0f },
        { "JPEG", encodeJpeg (quadrantsPicture (juce::Image::RGB)), 3.0f / 255.0f },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        OstrelAudioProcessor processor;
        processor.loadFile (writeFile ("picture", c.bytes), false);
        processor.updateImageManupulations();

        expectGridMatchesTransformedPicture (processor);
        EXPECT_NEAR (gridAt (processor, 100, 100), 200.0f / 255.0f, c.tolerance);
        EXPECT_NEAR (gridAt (processor, 400, 100), 1.0f, c.tolerance);
        EXPECT_NEAR (gridAt (processor, 400, 400), 0.0f, c.tolerance);
    }
}

TEST (PicturePipeline, BrightnessReadsPixelsAsGetPixelAtDoesAndIgnoresAlpha)
{
    for (const auto format : { juce::Image::ARGB, juce::Image::RGB, juce::Image::SingleChannel })
    {
        SCOPED_TRACE (format);
        const auto picture = noisePicture (gridSize, gridSize, format, 50);
        std::vector<std::atomic<float>> grid ((size_t) (gridSize * gridSize));
        writeBrightnessGrid (picture, grid.data());

        int mismatches = 0;

        for (int x = 0; x < gridSize; ++x)
            for (int y = 0; y < gridSize; ++y)
                if (grid[(size_t) (x * gridSize + y)].load() != brightness (picture.getPixelAt (x, y)))
                    ++mismatches;

        EXPECT_EQ (mismatches, 0);
    }

    // A half-transparent pixel counts by its colour alone (give or take what premultiplied storage
    // loses), not by its colour times its alpha.
    juce::Image picture (juce::Image::ARGB, gridSize, gridSize, true);
    picture.setPixelAt (3, 7, juce::Colour ((juce::uint8) 0, 0, 255, (juce::uint8) 128));
    std::vector<std::atomic<float>> grid ((size_t) (gridSize * gridSize));
    writeBrightnessGrid (picture, grid.data());
    EXPECT_NEAR (grid[3 * gridSize + 7].load(), 1.0f, 2.0f / 255.0f);
    EXPECT_EQ (grid[7 * gridSize + 3].load(), 0.0f);
}

TEST (PicturePipeline, OtherSizesAreRescaledAnd512IsUsedAsIs)
{
    OstrelAudioProcessor processor;

    processor.loadFile (writePng ("square.png", quadrantsPicture (juce::Image::RGB)), false);
    EXPECT_EQ (processor.scaledImage.getPixelData(), processor.loadedImage.getPixelData());
    EXPECT_NE (processor.transformedImage.getPixelData(), processor.scaledImage.getPixelData());
    EXPECT_NE (processor.transformWorkImage.getPixelData(), processor.transformedImage.getPixelData());
    EXPECT_TRUE (samePixels (processor.transformedImage, processor.scaledImage));

    auto halves = filledPicture (64, 32, juce::Colour (0, 0, 255));
    halves.clear ({ 0, 0, 32, 32 }, juce::Colour (100, 0, 0));
    processor.loadFile (writePng ("halves.png", halves), false);

    EXPECT_EQ (processor.loadedImage.getBounds(), juce::Rectangle<int> (64, 32));
    EXPECT_EQ (processor.scaledImage.getBounds(), juce::Rectangle<int> (gridSize, gridSize));
    // The framework's own rescale leaves its new image uncleared for a picture without alpha, so its partly
    // covered last column holds whatever the memory held; the loader scales onto a cleared image.
    const juce::Rectangle<int> allButTheLastColumn (gridSize - 1, gridSize);
    EXPECT_TRUE (
        samePixels (processor.scaledImage.getClippedImage (allButTheLastColumn),
                    processor.loadedImage.rescaled (gridSize, gridSize, juce::Graphics::mediumResamplingQuality)
                        .getClippedImage (allButTheLastColumn)));
    EXPECT_TRUE (samePixels (processor.transformedImage, processor.scaledImage));

    // So the same file always gives the same picture, edges included.
    const auto firstScaled = processor.scaledImage.createCopy();
    std::vector<std::vector<juce::uint8>> dirtyMemory;
    for (int i = 0; i < 32; ++i)
        dirtyMemory.emplace_back ((size_t) gridSize * gridSize * 3, (juce::uint8) (37 * i + 11));
    dirtyMemory.clear();

    for (int load = 0; load < 8; ++load)
    {
        processor.loadFile (writePng ("halves.png", halves), false);
        EXPECT_TRUE (samePixels (processor.scaledImage, firstScaled)) << "load " << load;
    }

    processor.updateImageManupulations();
    EXPECT_FLOAT_EQ (gridAt (processor, 10, 300), 100.0f / 255.0f);
    EXPECT_FLOAT_EQ (gridAt (processor, 500, 300), 1.0f);
}

TEST (PicturePipeline, TransformMovesThePictureAsItsParametersSay)
{
    struct Case
    {
        const char* name;
        int dotX, dotY;
        float rotate, zoom, hSkew, vSkew, upDown, leftRight;
        double expectedX, expectedY;
    };

    // Rotation is about (256, 256) by "Rotate" x 3.14 / 180, clockwise on screen; translation
    // comes before scaling, so it is scaled too.
    const Case cases[]{
        { "untransformed", 302, 256, 0, 0, 0, 0, 0, 0, 302.0, 256.0 },
        { "Rotate 90", 502, 256, 90, 0, 0, 0, 0, 0, 256.1959, 501.9999 },
        { "Rotate -90", 502, 256, -90, 0, 0, 0, 0, 0, 256.1959, 10.0001 },
        { "Zoom 1", 302, 256, 0, 1, 0, 0, 0, 0, 348.0, 256.0 },
        { "Zoom 1 and Left-Right 0.1", 302, 256, 0, 1, 0, 0, 0, 0.1f, 450.4, 256.0 },
        { "HSkew 0.5", 302, 256, 0, 0, 0.5f, 0, 0, 0, 325.0, 256.0 },
        { "VSkew 0.5", 256, 302, 0, 0, 0, 0.5f, 0, 0, 256.0, 325.0 },
        { "Up-Down 0.1", 256, 256, 0, 0, 0, 0, 0.1f, 0, 256.0, 307.2 },
    };

    OstrelAudioProcessor processor;

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        processor.loadFile (writePng ("dot.png", dotPicture (c.dotX, c.dotY)), false);
        setTransform (processor, c.rotate, c.zoom, c.hSkew, c.vSkew, c.upDown, c.leftRight);
        processor.updateImageManupulations();

        const auto centre = gridCentroid (processor);
        EXPECT_NEAR (centre.x, c.expectedX, 0.1);
        EXPECT_NEAR (centre.y, c.expectedY, 0.1);
    }
}

TEST (PicturePipeline, Rotate180TurnsBy314Radians)
{
    OstrelAudioProcessor processor;
    processor.loadFile (writePng ("dot.png", dotPicture (502, 256)), false);

    // 180 degrees is 3.14 radians: the dot, 246 px right of the centre, lands 246 sin (3.14)
    // = 0.39 px lower than a true half turn (an angle of pi) puts it.
    setTransform (processor, 180.0f);
    processor.updateImageManupulations();
    const auto turned = gridCentroid (processor);

    setTransform (processor, 180.0f * juce::MathConstants<float>::pi / 3.14f);
    processor.updateImageManupulations();
    const auto halfTurn = gridCentroid (processor);

    EXPECT_NEAR (turned.x, 10.0, 0.1);
    EXPECT_NEAR (turned.y - halfTurn.y, 246.0 * std::sin (3.14), 0.05);
}

TEST (PicturePipeline, ThePictureOutOfViewLeavesABlackGrid)
{
    struct Case
    {
        const char* name;
        float zoom, upDown, leftRight;
    };

    const Case cases[]{
        { "Zoom -1", -1, 0, 0 },  { "Left-Right 1", 0, 0, 1 }, { "Left-Right -1", 0, 0, -1 },
        { "Up-Down 1", 0, 1, 0 }, { "Up-Down -1", 0, -1, 0 },
    };

    OstrelAudioProcessor processor;
    processor.loadFile (writePng ("white.png", filledPicture (gridSize, gridSize, juce::Colours::white)), false);

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        setTransform (processor, 0.0f);
        processor.updateImageManupulations();
        ASSERT_EQ (gridAt (processor, 256, 256), 1.0f);

        setTransform (processor, 0.0f, c.zoom, 0.0f, 0.0f, c.upDown, c.leftRight);
        processor.updateImageManupulations();
        EXPECT_EQ (gridMaximum (processor), 0.0f);
    }
}

TEST (PicturePipeline, LoadingSetsThePathAndSilencesTheWavetables)
{
    OstrelAudioProcessor processor;
    const auto first = writePng ("first.png", quadrantsPicture (juce::Image::RGB));
    const auto second = writePng ("second.png", filledPicture (20, 20, juce::Colours::white));

    processor.loadFile (first, false);
    processor.updateImageManupulations();
    processor.intervalConfigs[IntervalIndex::shift].currentValue = 128.0f;
    processor.handleWavetableSampleSelection (3);
    ASSERT_NE (tableCopy (processor, 3), std::vector<float> (OstrelAudioProcessor::wavetableSize, 0.0f));

    processor.loadFile (second, true); // the flag has no effect

    const auto child = processor.valueTreeState.state.getChildWithName ("ImagePath");
    EXPECT_EQ (child.getProperty ("path").toString(), second);
    EXPECT_EQ (processor.valueTreeState.state.getNumChildren() - 1,
               processor.valueTreeState.state.indexOf (child)); // one child, not one per load
    EXPECT_EQ (processor.getImagePath(), second);

    for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
    {
        EXPECT_EQ (processor.wavetableBuffers[i].getNumChannels(), 1);
        EXPECT_EQ (tableCopy (processor, i), std::vector<float> (OstrelAudioProcessor::wavetableSize, 0.0f));
    }
}

TEST (PicturePipeline, AFailedLoadKeepsTheGridAndTheWavetables)
{
    const auto png = encodePng (noisePicture (64, 64, juce::Image::RGB, 60));
    const auto jpeg = encodeJpeg (noisePicture (64, 64, juce::Image::RGB, 61));
    auto huge = encodePng (filledPicture (1, 1, juce::Colours::white));
    static_cast<juce::uint8*> (huge.getData())[17] = 0x9c; // declares 40 000 x 1 (CRC now wrong too)

    const std::vector<std::pair<const char*, juce::String>> badPaths{
        { "missing file",
          juce::File::getSpecialLocation (juce::File::userHomeDirectory)
              .getChildFile ("missing.png")
              .getFullPathName() },
        { "empty file", writeFile ("empty.png", {}) },
        { "text file", writeFile ("text.png", juce::MemoryBlock ("not a picture", 13)) },
        { "truncated PNG", writeFile ("cut.png", truncated (png, png.getSize() / 2)) },
        { "truncated JPEG", writeFile ("cut.jpg", truncated (jpeg, jpeg.getSize() - 2)) },
        { "absurd size", writeFile ("huge.png", huge) },
        { "a folder", juce::File::getSpecialLocation (juce::File::userHomeDirectory).getFullPathName() },
        { "relative path", "picture.png" },
        { "empty path", "" },
    };

    for (const auto& [name, badPath] : badPaths)
    {
        SCOPED_TRACE (name);
        OstrelAudioProcessor processor;
        const auto good = writePng ("good.png", noisePicture (gridSize, gridSize, juce::Image::RGB, 62));
        processor.loadFile (good, false);
        processor.updateImageManupulations();
        processor.intervalConfigs[IntervalIndex::shift].currentValue = 200.0f;

        for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
            processor.handleWavetableSampleSelection (i);

        const auto grid = gridCopy (processor);
        const auto table = tableCopy (processor, 5);

        processor.loadFile (badPath, false);

        EXPECT_TRUE (processor.transformedImage.isNull());
        EXPECT_TRUE (processor.loadedImage.isNull());
        EXPECT_TRUE (processor.scaledImage.isValid());
        EXPECT_EQ (processor.getImagePath(), badPath);
        EXPECT_EQ (processor.valueTreeState.state.getChildWithName ("ImagePath").getProperty ("path").toString(), good);
        EXPECT_EQ (tableCopy (processor, 5), table);

        processor.updateImageManupulations();
        EXPECT_EQ (gridCopy (processor), grid);

        processor.handleWavetableSampleSelection (5);
        const auto refilled = tableCopy (processor, 5);

        for (int k = 0; k < OstrelAudioProcessor::wavetableSize; ++k)
            ASSERT_NEAR (refilled[(size_t) k], table[(size_t) k], 1.0e-6f);
    }
}

TEST (PicturePipeline, TheImageThreadRedrawsTheGridOnceTheHostPrepares)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    EXPECT_TRUE (processor->isThreadRunning());
    EXPECT_FALSE (processor->imageUpdateWanted.load());

    processor->loadFile (writePng ("white.png", filledPicture (gridSize, gridSize, juce::Colours::white)), false);
    processor->prepareToPlay (48000.0, 256);
    EXPECT_TRUE (processor->imageUpdateWanted.load());

    EXPECT_TRUE (waitFor ([&] { return gridAt (*processor, 256, 256) == 1.0f; }, 10000));

    // Block processing writes the modulated values; the thread picks them up on its own.
    processor->affineConfigs[AffineIndex::leftRight].currentValue = 1.0f;
    EXPECT_TRUE (waitFor ([&] { return gridAt (*processor, 256, 256) == 0.0f; }, 10000));

    const int threadsWhilePlaying = numThreadsOfThisProcess();
    processor.reset();
    EXPECT_TRUE (waitFor ([&] { return numThreadsOfThisProcess() == threadsWhilePlaying - 1; }, 10000));
}

// The image thread redraws, an audio thread refills every table and an editor reads the
// picture while pictures (some undecodable) are loaded: no race, and the tables stay sound.
TEST (PicturePipeline, LoadingWhilePlayingIsSafe)
{
    auto processor = std::make_unique<OstrelAudioProcessor>();
    processor->prepareToPlay (48000.0, 256);
    processor->affineConfigs[AffineIndex::rotate].currentValue = 20.0f;
    processor->intervalConfigs[IntervalIndex::shift].currentValue = 300.0f;

    const juce::StringArray paths{
        writePng ("a.png", noisePicture (gridSize, gridSize, juce::Image::RGB, 70)),
        writeFile ("b.jpg", encodeJpeg (noisePicture (100, 60, juce::Image::RGB, 71))),
        writeFile ("bad.png", truncated (encodePng (noisePicture (64, 64, juce::Image::RGB, 72)), 100)),
        writePng ("c.png", noisePicture (300, 700, juce::Image::ARGB, 73)),
    };

    std::atomic<bool> playing{ true };
    std::atomic<int> blocks{ 0 };

    std::thread audio (
        [&]
        {
            while (playing.load())
            {
                for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
                    processor->handleWavetableSampleSelection (i);

                blocks.fetch_add (1);
            }
        });

    std::thread editor (
        [&]
        {
            while (playing.load())
            {
                const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
                if (processor->transformedImage.isValid())
                    juce::ignoreUnused (processor->transformedImage.getPixelAt (10, 10));
            }
        });

    for (int round = 0; round < 3; ++round)
        for (const auto& path : paths)
        {
            processor->loadFile (path, false);
            EXPECT_EQ (processor->getImagePath(), path);
            const int seen = blocks.load();
            waitFor ([&] { return blocks.load() > seen + 2; }, 10000);
        }

    playing = false;
    audio.join();
    editor.join();

    for (int i = 0; i < OstrelAudioProcessor::numVoices; ++i)
    {
        const auto table = tableCopy (*processor, i);
        EXPECT_TRUE (std::all_of (table.begin(),
                                  table.end(),
                                  [] (float v) { return std::isfinite (v) && std::abs (v) <= 1.0f; }));
    }
}
