#include "PrivateDisplay.h"
#include "TemporaryHome.h"

#include <JuceHeader.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

int main (int argc, char** argv)
{
    const TemporaryHome home ("ostrel-editor-test");
    if (!home.isValid())
        return 2;

    ::testing::InitGoogleTest (&argc, argv);

    // The framework connects to an X server once, when it first needs one, so the private server comes first.
    // Only the dialog tests open windows on it; everything else is painted off screen.
    std::unique_ptr<PrivateDisplay> display;
    if (!::testing::GTEST_FLAG (list_tests))
        display = std::make_unique<PrivateDisplay>();

    if (display != nullptr && !display->isRunning())
        std::fprintf (stderr, "No private X server (is Xvfb installed?): the tests that open windows will fail.\n");

    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
