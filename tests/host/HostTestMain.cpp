#include <JuceHeader.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// The hosted plug-ins create their documents folder when they are opened: like the unit tests, this program
// points HOME at a fresh folder before anything starts, so it never touches a real user's documents.
int main (int argc, char** argv)
{
    std::string home = (std::filesystem::temp_directory_path() / "ostrel-host-test-XXXXXX").string();
    if (mkdtemp (home.data()) == nullptr)
        return 2;

    setenv ("HOME", home.c_str(), 1);
    unsetenv ("XDG_DOCUMENTS_DIR");
    unsetenv ("XDG_CONFIG_HOME");

    int result = 0;
    {
        ::testing::InitGoogleTest (&argc, argv);
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }

    std::error_code ignored;
    std::filesystem::remove_all (home, ignored);
    return result;
}
