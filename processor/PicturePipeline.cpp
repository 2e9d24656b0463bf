#include "picture/BrightnessGrid.h"
#include "processor/PluginProcessor.h"
#include "processor/sound/SoundConstants.h"

#include <array>
#include <cmath>

namespace
{
// The picture turns by "Rotate" x 3.14 / 180 radians: 180 degrees is 3.14, a little short of a half turn.
constexpr float rotationHalfTurn = 3.14f;
constexpr float lastGridIndex = (float) (OstrelAudioProcessor::gridSize - 1);

/** cos θ and sin θ of the circle scan's 512 angles θ = k × 6.2831855 × 0.001953125, worked out once
    (the same single-precision values the scan would compute at every refill). */
struct CircleAngles
{
    std::array<float, OstrelAudioProcessor::wavetableSize> cosines, sines;

    CircleAngles()
    {
        for (int k = 0; k < OstrelAudioProcessor::wavetableSize; ++k)
        {
            const float theta = (float) k * sound::twoPi * 0.001953125f;
            cosines[(size_t) k] = std::cos (theta);
            sines[(size_t) k] = std::sin (theta);
        }
    }
};

const CircleAngles circleAngles;

/** v limited to 0..limit; a NaN gives 0 rather than a position outside the grid. */
float limitPosition (float v, float limit) { return v > 0.0f ? (v < limit ? v : limit) : 0.0f; }

/** The integer part of v, made 511 when 511 or more and 0 when negative (or NaN). */
int pinToGrid (float v) { return v >= lastGridIndex ? OstrelAudioProcessor::gridSize - 1 : (v > 0.0f ? (int) v : 0); }
} // namespace

static_assert (brightnessGridSize == OstrelAudioProcessor::gridSize, "the processor's grid is the one written");

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
    const auto swaps = pictureSwaps.load (std::memory_order_acquire);
    auto due = !renderedOffline || swaps != offlinePassSwaps;

    if (timelineSample.has_value())
    {
        // On a running timeline the passes fall on its own stretches, so that a render of a stretch of the
        // timeline does not depend on how many blocks the host ran before it (a host's pre-roll varies).
        const auto stretch = *timelineSample >= 0 ? *timelineSample / offlinePassInterval
                                                  : -((-*timelineSample - 1) / offlinePassInterval) - 1;
        due = due || !offlinePassStretch.has_value() || stretch != *offlinePassStretch;
        offlinePassStretch = stretch;
    }
    else
    {
        due = due || samplesSinceOfflinePass >= offlinePassInterval;
        offlinePassStretch.reset();
    }

    if (due)
    {
        offlinePassSwaps = swaps;
        samplesSinceOfflinePass = 0;
        updateImageManupulations();
    }

    renderedOffline = true;
    samplesSinceOfflinePass += numSamples;
}

void OstrelAudioProcessor::loadFile (const juce::String& path, bool /* the drop dialog's answer; no effect */)
{
    swapInPicture (preparePicture (path), false, true);
}

bool OstrelAudioProcessor::loadDroppedPicture (const juce::String& path, const std::function<void()>& onceDecoded)
{
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

            restingTables.valid = false;
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
    auto& buffer = wavetableBuffers[index];
    restingTables.valid = false;
    blendWavetable (index, nullptr);

    float sum = 0.0f;

    for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            sum += buffer.getSample (channel, i);

    removeMean (buffer, sum);
}

namespace
{
bool sameBits (const float* a, const float* b, int count) noexcept
{
    return std::memcmp (a, b, sizeof (float) * (size_t) count) == 0;
}

} // namespace

void OstrelAudioProcessor::refillWavetables()
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSectionLoadWaveBuffer);

    // The voices mostly read the same row or circle: each distinct one is gathered from the grid once.
    PictureRead reads[numVoices];
    const float* values[numVoices];

    for (int i = 0; i < numVoices; ++i)
        values[i] = readPicture (i, reads, reads[i]);

    const float smooth = intervalConfigs[IntervalIndex::smooth].raw();
    std::uint32_t smoothBits;
    std::memcpy (&smoothBits, &smooth, sizeof (smoothBits));

    int source[numVoices];
    for (int i = 0; i < numVoices; ++i)
        for (int j = 0; j <= i; ++j)
            if (values[i] == reads[j].values.data())
                source[i] = j;

    const float* tables[numVoices];
    auto oneChannelEach = true;

    for (int i = 0; i < numVoices; ++i)
    {
        tables[i] = wavetableBuffers[i].getReadPointer (0);
        oneChannelEach = oneChannelEach && wavetableBuffers[i].getNumChannels() == 1
                         && wavetableBuffers[i].getNumSamples() == wavetableSize;
    }

    // Tables at rest under the same reads stay as they are.
    auto readsAsAtRest = oneChannelEach && restingTables.valid && restingTables.smoothBits == smoothBits;

    for (int i = 0; i < numVoices && readsAsAtRest; ++i)
        readsAsAtRest =
            restingTables.source[i] == source[i]
            && (source[i] != i || sameBits (values[i], restingTables.reads[i].values.data(), wavetableSize));

    if (readsAsAtRest)
        return;

    // What the tables were, to tell whether the refill gave them back.
    if (oneChannelEach)
        for (int i = 0; i < numVoices; ++i)
            std::copy (tables[i], tables[i] + wavetableSize, restingTables.before[i]);

    for (int i = 0; i < numVoices; ++i)
        blendTowards (i, values[i]);

    // Each table's sum is one long chain of additions in sample order; the eight chains run side by side.
    float sums[numVoices]{};

    if (oneChannelEach)
    {
        for (int k = 0; k < wavetableSize; ++k)
            for (int i = 0; i < numVoices; ++i)
                sums[i] += tables[i][k];
    }
    else
    {
        for (int i = 0; i < numVoices; ++i)
            for (int channel = 0; channel < wavetableBuffers[i].getNumChannels(); ++channel)
                for (int k = 0; k < wavetableBuffers[i].getNumSamples(); ++k)
                    sums[i] += wavetableBuffers[i].getSample (channel, k);
    }

    for (int i = 0; i < numVoices; ++i)
        removeMean (wavetableBuffers[i], sums[i]);

    restingTables.valid = oneChannelEach;

    for (int i = 0; i < numVoices && restingTables.valid; ++i)
        restingTables.valid = sameBits (tables[i], restingTables.before[i], wavetableSize);

    if (restingTables.valid)
    {
        restingTables.smoothBits = smoothBits;

        for (int i = 0; i < numVoices; ++i)
        {
            restingTables.source[i] = source[i];

            if (source[i] == i)
                std::copy (values[i], values[i] + wavetableSize, restingTables.reads[i].values.begin());
        }
    }
}

void OstrelAudioProcessor::removeMean (juce::AudioBuffer<float>& buffer, float sum) noexcept
{
    // No DC offset in any table.
    const float mean = sum / (float) (buffer.getNumChannels() * buffer.getNumSamples());

    for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
    {
        auto* samples = buffer.getWritePointer (channel);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
            samples[i] -= mean;
    }
}

void OstrelAudioProcessor::blendWavetable (int index, PictureRead* earlierReads)
{
    PictureRead ownRead;
    blendTowards (index, readPicture (index, earlierReads, ownRead));
}

const float* OstrelAudioProcessor::readPicture (int index, PictureRead* earlierReads, PictureRead& ownRead)
{
    const auto gridAt = [this] (int x, int y) { return imageGrid[x * gridSize + y].load (std::memory_order_relaxed); };
    const float shift = intervalConfigs[IntervalIndex::shift].currentValue;

    // The new samples are gathered first, then applied; with earlierReads, straight into this table's entry.
    auto& read = earlierReads != nullptr ? earlierReads[index] : ownRead;
    read.circle = intervalConfigs[IntervalIndex::typeCircle].raw() != 0.0f;

    if (!read.circle)
    {
        const float offset =
            globalSynthConfigs[GlobalIndex::veloShift].raw() != 0.0f ? (float) (4 * voiceVelocityShift[index]) : 0.0f;
        const float row = limitPosition (shift - offset, lastGridIndex);
        read.row0 = (int) std::floor (row);
        read.row1 = (int) std::ceil (row);
        read.position = row - (float) read.row0;
    }
    else
    {
        read.position = limitPosition (shift * 0.5f + (float) (2 * voiceVelocityShift[index]), 512.0f);
        read.row0 = pinToGrid (intervalConfigs[IntervalIndex::centreX].currentValue);
        read.row1 = pinToGrid (intervalConfigs[IntervalIndex::centreY].currentValue);
    }

    const PictureRead* same = nullptr;

    // The first match is the first table of its read, which gathered the values itself.
    if (earlierReads != nullptr)
        for (int i = 0; i < index && same == nullptr; ++i)
            if (earlierReads[i].sameAs (read))
                same = &earlierReads[i];

    if (same == nullptr)
    {
        if (!read.circle)
        {
            // Along a row, left to right, interpolating between the two nearest rows.
            const float fraction = read.position;

            for (int k = 0; k < wavetableSize; ++k)
                read.values[(size_t) k] = gridAt (k, read.row0) * (1.0f - fraction) + gridAt (k, read.row1) * fraction;
        }
        else
        {
            // Around a circle, clockwise on screen from the point right of the centre, nearest grid point.
            const float radius = read.position;
            const int centreX = read.row0;
            const int centreY = read.row1;

            for (size_t k = 0; k < (size_t) wavetableSize; ++k)
            {
                const int x = pinToGrid ((float) centreX + radius * circleAngles.cosines[k]);
                const int y = pinToGrid ((float) centreY + radius * circleAngles.sines[k]);
                read.values[k] = gridAt (x, y);
            }
        }
    }

    // A read made for an earlier table is used where it lies, not copied.
    return same != nullptr ? same->values.data() : read.values.data();
}

void OstrelAudioProcessor::blendTowards (int index, const float* values) noexcept
{
    const float smooth = intervalConfigs[IntervalIndex::smooth].raw();
    auto* table = wavetableBuffers[index].getWritePointer (0);

    for (int k = 0; k < wavetableSize; ++k)
        table[k] = table[k] + (values[k] - table[k]) * (1.0f - smooth);
}

juce::String OstrelAudioProcessor::getImagePath() const
{
    const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
    return imagePath;
}
