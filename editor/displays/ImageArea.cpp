#include "ImageArea.h"

#include "editor/panels/GlobalSynthPanel.h"

#include <cmath>

namespace
{
constexpr int gridSize = OstrelAudioProcessor::gridSize;
constexpr int lastGridIndex = gridSize - 1;

/** The integer part of v (toward zero); 0 for a NaN, so that no conversion overflows. */
int wholePart (float v) { return std::isfinite (v) ? (int) juce::jlimit (-1.0e6f, 1.0e6f, v) : 0; }

/** The integer part of v limited to the grid's coordinates. */
int gridCoordinate (float v) { return juce::jlimit (0, lastGridIndex, wholePart (v)); }

/** Grid point (gx, gy) as the pixel of a w x h area that shows it. */
juce::Point<float> toPixel (int gx, int gy, int w, int h)
{
    return juce::Point<int> (gx * w / gridSize, gy * h / gridSize).toFloat();
}

/** The arrows' phase one step on, within its 64-step cycle: a float that only grew would stop moving past 2^15,
    where adding 0.001 no longer changes it. */
float nextArrowPhase (float phase)
{
    const auto next = (float) ((double) phase + 0.001);
    return next < 64.0f ? next : std::fmod (next, 64.0f);
}
} // namespace

TargetArea::TargetArea (OstrelAudioProcessor& p) : processor (p) {}

void TargetArea::mouseDown (const juce::MouseEvent& e)
{
    if (e.mods.isLeftButtonDown())
        repaint();
}

void TargetArea::mouseDrag (const juce::MouseEvent& e)
{
    if (e.mods.isLeftButtonDown())
        repaint();
}

//==============================================================================
void TargetArea::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();
    g.fillAll (juce::Colours::black);

    bool hasPicture = false;
    {
        // Tested and drawn in one hold: a program change or a state restore on a host's thread may swap the picture
        // at any moment. Nothing of the processor is called in here, as the lock is not re-entrant.
        const juce::SpinLock::ScopedLockType lock (spinCriticalSection);
        const auto& picture = processor.transformedImage;
        hasPicture = picture.isValid();

        if (hasPicture)
        {
            const auto iw = picture.getWidth();
            const auto ih = picture.getHeight();
            g.drawImageTransformed (picture,
                                    iw > 0 && ih > 0
                                        ? juce::AffineTransform::scale ((float) w / (float) iw, (float) h / (float) ih)
                                        : juce::AffineTransform());
        }
    }

    if (!hasPicture)
    {
        g.setFont (juce::Font (50.0f));
        g.setColour (juce::Colours::yellow);
        g.drawText ("Drop a Picture", juce::Rectangle<int> (0, 0, w, 2 * h / 3), juce::Justification::centred, true);
        g.drawText ("Please..", juce::Rectangle<int> (0, 0, w, h), juce::Justification::centred, true);
        return;
    }

    if (processor.intervalConfigs[IntervalIndex::typeCircle].raw() == 0.0f)
        paintLineOverlay (g, w, h);
    else
        paintCircleOverlay (g, w, h);
}

void TargetArea::paintLineOverlay (juce::Graphics& g, int w, int h)
{
    const auto lineY = wholePart (processor.intervalConfigs[IntervalIndex::shift].currentValue) * h / gridSize;

    g.setGradientFill (juce::ColourGradient (juce::Colours::yellow,
                                             0.0f,
                                             (float) lineY,
                                             juce::Colours::orange,
                                             0.0f,
                                             (float) (lineY + 3),
                                             false));
    g.fillRect (0, lineY, w, 3);
    g.setColour (juce::Colours::black.withAlpha ((juce::uint8) 0x4c));
    g.fillRect (0, lineY + 3, w, 1);

    // The rows that the velocity shift can move a voice's scan to.
    const auto band =
        wholePart (processor.globalSynthConfigs[GlobalIndex::veloShift].raw() * (float) gridSize) * h / gridSize;
    const auto top = juce::jmax (0, lineY - band);
    const auto bottom = juce::jmin (lineY + band, lastGridIndex);

    if (band != 0 && bottom > top)
    {
        g.setColour (juce::Colours::yellow.withAlpha ((juce::uint8) 0x4c));
        g.fillRect (juce::Rectangle<int>::leftTopRightBottom (0, top, w, bottom));
    }
}

void TargetArea::paintCircleOverlay (juce::Graphics& g, int w, int h)
{
    const auto& intervals = processor.intervalConfigs;
    const auto cx = wholePart (intervals[IntervalIndex::centreX].currentValue);
    const auto cy = wholePart (intervals[IntervalIndex::centreY].currentValue);
    const auto r = 0.5f * intervals[IntervalIndex::shift].currentValue;

    // The circle the voices scan, in the order they read it: from the point right of the centre, clockwise.
    const auto pointAt = [&] (int k)
    {
        const auto a = (float) k * 6.2831855f * 0.001953125f;
        return toPixel (gridCoordinate ((float) cx + r * std::cos (a)),
                        gridCoordinate ((float) cy + r * std::sin (a)),
                        w,
                        h);
    };

    auto previous = pointAt (0);

    for (int k = 0; k <= gridSize; ++k)
    {
        const auto point = pointAt (k);

        if (k >= 1)
        {
            g.setColour (juce::Colours::yellow);
            g.drawLine (juce::Line<float> (previous, point), 3.0f);
        }

        arrowPhase = nextArrowPhase (arrowPhase);

        if (k % 64 == (int) arrowPhase)
        {
            g.setColour (juce::Colours::orange);
            g.drawArrow (juce::Line<float> (pointAt (k - 10), point), 2.0f, 10.0f, 10.0f);
        }

        previous = point;
    }

    const auto marker = toPixel (gridCoordinate ((float) cx + r), juce::jlimit (0, lastGridIndex, cy), w, h);
    g.setColour (juce::Colours::red);
    g.drawArrow (juce::Line<float> (marker.x, marker.y - 5.0f, marker.x, marker.y + 5.0f), 2.0f, 10.0f, 10.0f);

    // The ring that the velocity shift can widen a voice's circle to.
    const auto b = wholePart (processor.globalSynthConfigs[GlobalIndex::veloShift].raw() * (float) gridSize) / 2;

    if (b != 0)
    {
        juce::Path ring;
        ring.setUsingNonZeroWinding (false);

        for (const auto q :
             { juce::jlimit (0, lastGridIndex, wholePart (r) + b), juce::jlimit (0, lastGridIndex, wholePart (r) - b) })
            ring.addEllipse (juce::Rectangle<int> ((cx - q) * w / gridSize,
                                                   (cy - q) * h / gridSize,
                                                   2 * q * w / gridSize,
                                                   2 * q * h / gridSize)
                                 .toFloat());

        g.setColour (juce::Colours::yellow.withAlpha ((juce::uint8) 0x4c));
        g.fillPath (ring);
    }
}

//==============================================================================
bool TargetArea::isPictureFileName (const juce::String& path)
{
    // Anywhere in the path, as the name test always was, but in any case: cameras write "IMG_0001.JPG".
    for (const auto* extension : { ".jpg", ".jpeg", ".png", ".bmp", ".gif" })
        if (path.containsIgnoreCase (extension))
            return true;

    return false;
}

bool TargetArea::isInterestedInFileDrag (const juce::StringArray& files)
{
    for (const auto& path : files)
        if (isPictureFileName (path))
            return true;

    return false;
}

DialogLauncher::Question TargetArea::dropQuestion()
{
    return {
        "Confirmation",
        "Do you want to init all parameters?",
        juce::MessageBoxIconType::QuestionIcon,
        { { "Yes", yes, juce::KeyPress::returnKey }, { "No", no, 0 }, { "Cancel", cancel, juce::KeyPress::escapeKey } }
    };
}

juce::String TargetArea::unreadableMessage (const juce::String& path)
{
    return "This file could not be read as a picture (PNG, JPEG or GIF):\n" + path;
}

void TargetArea::filesDropped (const juce::StringArray& files, int, int)
{
    // Outside a window there is no one to ask.
    auto* launcher = DialogLauncher::findFor (*this);
    if (launcher == nullptr)
        return;

    // One dialog per picture file; each answer loads its own file, so the last one answered decides.
    for (const auto& path : files)
        if (isPictureFileName (path))
            launcher->askQuestion (getTopLevelComponent(),
                                   dropQuestion(),
                                   [view = juce::Component::SafePointer<TargetArea> (this), path] (int answer)
                                   {
                                       // The editor may have closed while the dialog was open.
                                       if (auto* area = view.getComponent())
                                           area->answerDrop (path, answer);
                                   });
}

void TargetArea::answerDrop (const juce::String& path, int answer)
{
    if (answer != yes && answer != no)
        return;

    // Yes inits the parameters only once the file is known to be a picture: a file that does not decode changes
    // nothing at all.
    const auto loaded = processor.loadDroppedPicture (path,
                                                      [this, answer]
                                                      {
                                                          if (answer == yes)
                                                              GlobalSynthPanel::resetAllParameters (processor);
                                                      });

    if (!loaded)
        if (auto* launcher = DialogLauncher::findFor (*this))
            launcher->showMessage (getTopLevelComponent(), unreadableTitle, unreadableMessage (path));

    repaint();
}
