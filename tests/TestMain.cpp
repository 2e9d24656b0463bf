#include <JuceHeader.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main (int argc, char** argv)
{
    // Before JUCE starts: no test may ever see a real user's documents folder.
    std::string home = (std::filesystem::temp_directory_path() / "ostrel-test-XXXXXX").string();
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
