#include "NoDisplay.h"
#include "TemporaryHome.h"

#include <JuceHeader.h>
#include <gtest/gtest.h>

#include <memory>

namespace
{
/** Gives every test a HOME of its own, so that no test finds what another left in the documents folder:
    the program passes whether its tests run one per process or all in one. */
class HomePerTest : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart (const ::testing::TestInfo&) override
    {
        home = std::make_unique<TemporaryHome> ("ostrel-test-case");
    }

    // Should a folder not be made, the test runs in the program's own temporary HOME.
    void OnTestEnd (const ::testing::TestInfo&) override { home.reset(); }

private:
    std::unique_ptr<TemporaryHome> home;
};
} // namespace

int main (int argc, char** argv)
{
    const TemporaryHome home ("ostrel-test");
    if (!home.isValid())
        return 2;

    leaveNoDisplay();
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append (new HomePerTest());
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
