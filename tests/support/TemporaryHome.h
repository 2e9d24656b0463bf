#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

/** Points HOME at a fresh temporary folder for as long as it lives, so that nothing run meanwhile (the
    plug-in writes into the user's documents folder) ever touches a real user's files. Make it before
    JUCE starts. On destruction the folder is removed and HOME points where it pointed before. */
class TemporaryHome
{
public:
    explicit TemporaryHome (const std::string& prefix)
    {
        if (const auto* home = std::getenv ("HOME"))
            previousHome = std::string (home);

        path = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (mkdtemp (path.data()) == nullptr)
        {
            path.clear();
            return;
        }

        setenv ("HOME", path.c_str(), 1);
        unsetenv ("XDG_DOCUMENTS_DIR");
        unsetenv ("XDG_CONFIG_HOME");
    }

    ~TemporaryHome()
    {
        if (!isValid())
            return;

        std::error_code ignored;
        std::filesystem::remove_all (path, ignored);

        if (previousHome)
            setenv ("HOME", previousHome->c_str(), 1);
        else
            unsetenv ("HOME");
    }

    bool isValid() const { return !path.empty(); }

    TemporaryHome (const TemporaryHome&) = delete;
    TemporaryHome& operator= (const TemporaryHome&) = delete;

private:
    std::string path;
    std::optional<std::string> previousHome;
};
