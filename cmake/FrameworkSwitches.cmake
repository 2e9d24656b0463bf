# The framework's feature switches, the same for every program built on it: the plug-in's shared code (and so the
# tests and benchmarks that copy its definitions) and the real-host checks' program.
set (OSTREL_JUCE_SWITCHES
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    # Debian strips the framework's bundled codecs, and no audio file is read.
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_USE_MP3AUDIOFORMAT=0
    JUCE_USE_LAME_AUDIO_FORMAT=0
    JUCE_USE_WINDOWS_MEDIA_FORMAT=0
    # Fixes the VST3 IDs that saved sessions depend on.
    JUCE_VST3_CAN_REPLACE_VST2=0
    # The tests, the benchmarks and the real-host checks run the message loop while the plug-in plays.
    JUCE_MODAL_LOOPS_PERMITTED=1)
