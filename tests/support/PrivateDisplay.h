#pragma once

#include <string>
#include <sys/types.h>

/** A private X server (Xvfb) for as long as it lives, with DISPLAY pointing at it: the editor tests' windows
    never reach a real user's screen, and the tests run the same on a machine with no display at all. Make it
    before JUCE starts. */
class PrivateDisplay
{
public:
    PrivateDisplay();
    ~PrivateDisplay();

    bool isRunning() const { return server > 0 && !name.empty(); }
    /** ":N", or empty when no server could be started. */
    const std::string& getName() const { return name; }

    PrivateDisplay (const PrivateDisplay&) = delete;
    PrivateDisplay& operator= (const PrivateDisplay&) = delete;

private:
    pid_t server = -1;
    std::string name;
};
