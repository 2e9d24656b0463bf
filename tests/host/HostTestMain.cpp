#include "TemporaryHome.h"

#include <JuceHeader.h>
#include <gtest/gtest.h>

// The hosted plug-ins create their documents folder when they are opened.
int main (int argc, char** argv)
{
    const TemporaryHome home ("ostrel-host-test");
    if (!home.isValid())
        return 2;

    ::testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
