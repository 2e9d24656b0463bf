#include "picture/BrightnessGrid.h"
#include "processor/PluginProcessor.h"

namespace
{
// The picture turns by "Rotate" x 3.14 / 180 radians: 180 degrees is 3.14, a little short of a half turn.
constexpr float rotationHalfTurn = 3.14f;
} // namespace

static_assert (brightnessGridSize == OstrelAudioProcessor::gridSize, "the processor's grid is the one written");
static_assert (WavetableRefill::tableSize == OstrelAudioProcessor::wavetableSize
                   && WavetableRefill::numTables == OstrelAudioProcessor::numVoices,
               "one wavetable of the refill's size per voice");

void OstrelAudioProcessor::run()
{
    while (!threadShouldExit())
    {
        if (imageUpdateWanted.load())
        {
            const juce::SpinLock::ScopedLockType lock (spinCriticalSection);

            // While the host renders offline the audio thread makes the passes, in step with the audio. Asked under
            // the lock, so that a pass begun before the host switched is over before the audio thread's first
            // offline pass, which then rewrites the whole grid.
            if (!isNonRealtime())
                transformPictureLocked();
        }

        wait (33);
    }
}

void OstrelAudioProcessor::transformPictureForOfflineBlock (int numSamples, std::optional<juce::int64> timelineSample)
{
    // A host rendering faster or slower than real time would see the clock-driven passes of the image thread now and
    // then; here the picture follows the audio's time instead, so that a render comes out the same however fast the
    // host runs it. A host rendering offline has no deadline, so the lock and the renderer's allocations are fine.
    if (offlinePassSchedule.isPassDue (numSamples, pictureSwaps.load (std::memory_order_acquire), timelineSample))
        updateImageManupulations();
}

void OstrelAudioProcessor::loadFile (const juce::String& path, bool /* the drop dialog's answer; no effect */)
{
    JUCE_ASSERT_MESSAGE_THREAD
    swapInPicture (preparePicture (path), false, true);
}

bool OstrelAudioProcessor::loadDroppedPicture (const juce::String& path, const std::function<void()>& onceDecoded)
{
    JUCE_ASSERT_MESSAGE_THREAD
    auto picture = preparePicture (path);

    // Decided before anything changes: a file that does not decode must not take away the picture in use.
    if (!picture.isValid())
        return false;

    if (onceDecoded)
        onceDecoded();

    swapInPicture (std::move (picture), false, true);
    return true;
}

void OstrelAudioProcessor::swapInPicture (PreparedPicture picture, bool clearGrid, bool recordInLiveState)
{
    const auto loaded = picture.isValid();
    const auto newPath = picture.path;
    const juce::ScopedLock stateGuard (stateLock);

    {
        // Only swaps and clears in here: the image thread of every instance spins on the picture lock, and the
        // audio thread of every instance on the wavetable lock.
        const juce::SpinLock::ScopedLockType pictureLock (spinCriticalSection);

        std::swap (imagePath, picture.path);
        std::swap (loadedImage, picture.decoded);

        // A failed load leaves transformedImage null: the image thread stops rewriting the grid, and the sound
        // keeps following the last one.
        std::swap (transformedImage, picture.transformed);

        if (loaded)
        {
            std::swap (scaledImage, picture.scaled);
            std::swap (transformWorkImage, picture.work);
            ++pictureLoads;
        }

        if (clearGrid)
            for (auto& cell : imageGrid)
                cell.store (0.0f, std::memory_order_relaxed);

        pictureSwaps.fetch_add (1, std::memory_order_release);

        if (loaded)
        {
            const juce::SpinLock::ScopedLockType wavetableLock (spinCriticalSectionLoadWaveBuffer);

            // The voices read the tables while they render, so they are cleared between two stretches of it.
            const juce::SpinLock::ScopedLockType renderLock (wavetableRenderLock);

            for (auto& table : wavetableBuffers)
                table.clear();

            wavetableRefill.tablesChanged();
        }
    }

    if (loaded && recordInLiveState)
        recordPicture (valueTreeState.state, newPath);

    // The replaced pictures and path, now in picture, are freed by the caller, after every lock is released.
}

void OstrelAudioProcessor::recordPicture (juce::ValueTree& state, const juce::String& path)
{
    // Its copy in the documents folder is made by the next save.
    auto node = state.getOrCreateChildWithName (imagePathType, nullptr);
    node.setProperty (imagePathProperty, path, nullptr);
    node.setProperty (pictureCopyProperty, juce::String(), nullptr);
}

void OstrelAudioProcessor::dropPicture()
{
    juce::String replacedPath;
    juce::Image replacedPicture;

    {
        // Picture first, then the grid, in one step: a transform pass either ran before, and its grid is cleared,
        // or runs after and finds no picture.
        const juce::SpinLock::ScopedLockType pictureLock (spinCriticalSection);
        std::swap (imagePath, replacedPath);
        std::swap (transformedImage, replacedPicture);

        for (auto& cell : imageGrid)
            cell.store (0.0f, std::memory_order_relaxed);

        pictureSwaps.fetch_add (1, std::memory_order_release);
    }
}

void OstrelAudioProcessor::updateImageManupulations()
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
    transformPictureLocked();
}

void OstrelAudioProcessor::transformPictureLocked()
{
    if (transformedImage.isNull())
        return;

    const float rotate = affineConfigs[AffineIndex::rotate].currentValue;
    const float zoom = affineConfigs[AffineIndex::zoom].currentValue;
    const float hSkew = affineConfigs[AffineIndex::hSkew].currentValue;
    const float vSkew = affineConfigs[AffineIndex::vSkew].currentValue;
    const float upDown = affineConfigs[AffineIndex::upDown].currentValue;
    const float leftRight = affineConfigs[AffineIndex::leftRight].currentValue;

    transformWorkImage.clear ({ 0, 0, transformedImage.getWidth(), transformedImage.getHeight() },
                              juce::Colours::black);

    const int width = transformWorkImage.getWidth();
    const int height = transformWorkImage.getHeight();
    const auto centreX = (float) (width / 2);
    const auto centreY = (float) (height / 2);

    // Rotation, then translation, then scaling: a shift is scaled with the picture.
    const auto transform =
        juce::AffineTransform::rotation (rotate * rotationHalfTurn / 180.0f, centreX, centreY)
            .translated (leftRight * (float) width, upDown * (float) height)
            .scaled ((1.0f + zoom) * (1.0f + hSkew), (1.0f + zoom) * (1.0f + vSkew), centreX, centreY);

    if (auto context = transformWorkImage.createLowLevelContext(); !context->isClipEmpty())
        context->drawImage (scaledImage, transform);

    if (auto context = transformedImage.createLowLevelContext(); !context->isClipEmpty())
        context->drawImage (transformWorkImage, juce::AffineTransform());

    writeBrightnessGrid (transformedImage, imageGrid);
}

void OstrelAudioProcessor::handleWavetableSampleSelection (int index)
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSectionLoadWaveBuffer);
    wavetableRefill.refillTable (index, currentScan());
}

void OstrelAudioProcessor::refillWavetables()
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSectionLoadWaveBuffer);
    wavetableRefill.refillAllTables (currentScan());
}

WavetableRefill::Scan OstrelAudioProcessor::currentScan() const noexcept
{
    WavetableRefill::Scan scan;
    scan.shift = intervalConfigs[IntervalIndex::shift].currentValue;
    scan.circle = intervalConfigs[IntervalIndex::typeCircle].raw() != 0.0f;
    scan.velocityMovesRow = globalSynthConfigs[GlobalIndex::veloShift].raw() != 0.0f;
    scan.centreX = intervalConfigs[IntervalIndex::centreX].currentValue;
    scan.centreY = intervalConfigs[IntervalIndex::centreY].currentValue;
    scan.smooth = intervalConfigs[IntervalIndex::smooth].raw();
    std::copy (std::begin (voiceVelocityShift), std::end (voiceVelocityShift), scan.velocityShift.begin());
    return scan;
}

juce::String OstrelAudioProcessor::getImagePath() const
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
    return imagePath;
}
