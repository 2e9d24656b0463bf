#pragma once

#include <JuceHeader.h>

#include <optional>

/** Guards against faults of the framework's text readers, as Debian ships the framework: JUCE 7.0.5
    (juce-modules-source 7.0.5+ds-1). Every guard below names the reader and the fault it keeps away, so that on an
    upgrade each can be checked against the new reader's source and dropped once the reader no longer has it. The
    tests of bad presets files and bad states (tests/unit/BadInputTest.cpp) feed the readers what each guard keeps
    from them: with a guard dropped, they tell whether the new reader copes.

    Readers and their faults, in 7.0.5:
    - juce::JSON::parse (JSONParser, juce_JSON.cpp), which reads the presets file:
      - recurses once per nested array or object, without a limit: text nested some ten thousand deep overflows the
        stack of the thread that reads it;
      - gathers a number's integer digits in an int64 without a bound (parseNumber): 19 digits or more overflow it;
      - takes whatever character follows a '-' (after whitespace) for a digit;
      - reads "\uXXXX" as one UTF-16 unit, so a character beyond 16 bits, which juce::JSON::toString writes as an
        escaped surrogate pair, reads back as two characters;
      - reads a number with a fraction or an exponent with juce::CharacterFunctions::readDoubleValue, whose fault is
        below.
    - juce::XmlDocument (juce_XmlDocument.cpp), which getXmlFromBinary uses to read a state:
      - steps over a UTF-8 sequence by its first byte without looking at the rest: a broken sequence carries it past
        the end of the text;
      - recurses once per element that has children, without a limit;
      - loops for ever on text that follows a processing instruction ("<?...?>") inside an element;
      - steps over whatever ends the hex digits of a character reference ("&#x"), so past the end of a text cut there;
      - expands a document type's entities into text that it reads again, past its end too.
    - juce::CharacterFunctions::readDoubleValue (juce_CharacterFunctions.h), which both readers' numbers meet (the
      JSON reader's fractions and exponents; a state's values through getDoubleAttribute and the parameter tree):
      gathers an exponent's digits in an int without a bound, so ten significant digits or more overflow it.

    The two exponent fixes meet that one fault but stay two: the presets file's text is rewritten literal by literal
    anyway, for the JSON reader's own integer fault, and an exponent too long for the number reader is folded into
    that rewrite; a state's value is one attribute that the state reader has already decoded, whose exponent is only
    saturated. */
namespace framework_readers
{
/** What juce::JSON::parse makes of text, with the JSON reader's faults kept away: void when text nests arrays and
    objects more than 64 deep (no presets file nests more than 3); number literals that it or the number reader
    would overflow on read as the doubles they denote; a '-' before anything but a digit is a syntax error; escaped
    surrogate pairs read as the one character they encode. [any thread but the audio thread] */
juce::var safeJsonParse (const juce::String& text);

/** False for state bytes (the framework's binary XML wrapper: magic, length, text) whose XML juce::XmlDocument must
    not be given: text that is not valid UTF-8, nested more than 256 deep (a state nests 1), with text after a
    processing instruction, ending in a cut hex character reference, or declaring a document type. True for bytes
    the wrapper takes no text from. [any thread but the audio thread] */
bool isSafeXmlState (const void* data, int sizeInBytes);

/** text with every exponent of ten significant digits or more written as 999999999, which the number reader reads
    as the same infinity or zero; nothing when it has none. Digits are read as the number reader reads them, from
    decoded text. */
std::optional<juce::String> withSafeExponents (const juce::String& text);
} // namespace framework_readers
