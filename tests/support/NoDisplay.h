#pragma once

#include <cstdlib>

/** Leaves the program without an X display. The framework connects to one as soon as any component is shown, even
    off screen, and falls back to ":0" when DISPLAY is unset: a user's screen, or another test program's private
    server that may vanish under it. A DISPLAY that names no display at all keeps it from connecting anywhere.
    Call it before JUCE starts. */
inline void leaveNoDisplay() { setenv ("DISPLAY", "none", 1); }
