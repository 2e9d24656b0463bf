#include "NoDisplay.h"
#include "TemporaryHome.h"

#include <JuceHeader.h>
#include <gtest/gtest.h>

int main (int argc, char** argv)
{
    const TemporaryHome home ("ostrel-test");
    if (! home.isValid())
        return 2;

    leaveNoDisplay();
    ::testing::InitGoogleTest (&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
