// Bad input from every side the processor has, each in a table: what no other test tries yet. Every case checks
// that nothing crashes, that the output stays finite and that nothing is lost: the parameters and the sound are
// those of a twin processor that was spared the bad input.
#include "PictureFixtures.h"
#include "ProcessorHarness.h"
#include "RoutingStateFixtures.h"

#include <cmath>
#include <cstring>
#include <limits>

using namespace block_testing;

namespace
{
/** Settings that make a plain, steady sound from the second oscillator, so that two processors given the same
    notes give the same samples. */
void useTestSound (ProcessorHarness& host)
{
    useSecondOscillatorOnly (host, 1);
    host.set ("Attack", 5.0f);
    host.set ("Release", 30.0f);
    host.set ("Gain", -12.0f);
}

struct Listening
{
    bool finite = true;
    bool identical = true;
    float peak = 0.0f;
};

/** Plays both processors through the same blocks and events and compares every sample. */
Listening playBoth (ProcessorHarness& subject,
                    ProcessorHarness& control,
                    int numBlocks,
                    const std::vector<Event>& firstBlockEvents = {})
{
    Listening result;

    for (int block = 0; block < numBlocks; ++block)
    {
        const auto events = block == 0 ? firstBlockEvents : std::vector<Event>{};
        const auto& a = subject.process (subject.blockSize, events);
        const auto& b = control.process (control.blockSize, events);

        for (int channel = 0; channel < a.getNumChannels(); ++channel)
            for (int i = 0; i < a.getNumSamples(); ++i)
            {
                const auto sample = a.getSample (channel, i);
                result.finite = result.finite && std::isfinite (sample);
                result.identical = result.identical && sample == b.getSample (channel, i);
                result.peak = std::max (result.peak, std::abs (sample));
            }
    }

    return result;
}

/** Every output sample of a run of blocks is finite; returns the peak (infinity when one was not). */
float peakOfFiniteRun (ProcessorHarness& host, int numBlocks, int blockSize, const std::vector<Event>& events = {})
{
    auto result = 0.0f;

    for (int block = 0; block < numBlocks; ++block)
    {
        const auto& output = host.process (blockSize, block == 0 ? events : std::vector<Event>{});

        for (int channel = 0; channel < output.getNumChannels(); ++channel)
            for (int i = 0; i < output.getNumSamples(); ++i)
            {
                const auto sample = output.getSample (channel, i);
                if (!std::isfinite (sample))
                    return std::numeric_limits<float>::infinity();
                result = std::max (result, std::abs (sample));
            }
    }

    return result;
}

juce::MemoryBlock blockOf (const std::string& bytes) { return { bytes.data(), bytes.size() }; }

juce::MemoryBlock bytesOf (const juce::String& text) { return { text.toRawUTF8(), text.getNumBytesAsUTF8() }; }

/** State bytes around any text: the framework's magic, the length field and a closing zero byte. */
juce::MemoryBlock stateAround (const juce::MemoryBlock& text, juce::uint32 lengthField)
{
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt ((int) lengthField);
    out.write (text.getData(), text.getSize());
    out.writeByte (0);
    return out.getMemoryBlock();
}

juce::String repeated (const std::string& text, int times)
{
    std::string result;
    result.reserve (text.size() * (size_t) times);
    for (int i = 0; i < times; ++i)
        result += text;
    return juce::String::fromUTF8 (result.data(), (int) result.size());
}

/** Text nested depth levels deep, with a character sequence for '>' (an over-long UTF-8 '>' when asked). */
juce::MemoryBlock deeplyNestedXml (int depth, bool overlongClosingBracket)
{
    std::string text ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Ostrel>");
    const std::string level = overlongClosingBracket ? "<a\xc0\xbe" : "<a>";
    text.reserve (text.size() + level.size() * (size_t) depth);

    for (int i = 0; i < depth; ++i)
        text += level;

    return { text.data(), text.size() };
}
} // namespace

//==============================================================================
TEST (BadInput, StateBytes)
{
    // A whole state of the test sound with "Attack" at 33, as a host stored it.
    juce::MemoryBlock good;
    {
        ProcessorHarness source;
        useTestSound (source);
        source.set ("Attack", 33.0f);
        good = routing_fixtures::stateOf (*source.processor);
    }
    const auto goodText = juce::MemoryBlock (static_cast<const char*> (good.getData()) + 8, good.getSize() - 9);

    // The same state with one more attribute of 16 MiB on its root.
    const auto withHugeAttribute = [] (const juce::MemoryBlock& text)
    {
        const auto xml = juce::String::fromUTF8 (static_cast<const char*> (text.getData()), (int) text.getSize());
        return stateAround (
            bytesOf (xml.replaceFirstOccurrenceOf ("<Ostrel>", "<Ostrel x=\"" + repeated ("9", 1 << 24) + "\">")),
            0x7fffffff);
    };

    const auto withTextBeforeFirstTag = [] (const juce::MemoryBlock& text, const juce::String& inserted)
    {
        const auto xml = juce::String::fromUTF8 (static_cast<const char*> (text.getData()), (int) text.getSize());
        return stateAround (bytesOf (xml.replaceFirstOccurrenceOf ("<Ostrel>", "<Ostrel>" + inserted)), 0x7fffffff);
    };

    struct Case
    {
        const char* name;
        juce::MemoryBlock bytes;
        bool restores; // true: the bytes are a state after all and set "Attack" to 33
    };

    std::vector<Case> cases{
        { "length field past the end of the bytes", stateAround (goodText, 0x7fffffff), true },
        { "length field of 2^32 - 1", stateAround (goodText, 0xffffffff), false },
        { "length field of 2^31", stateAround (goodText, 0x80000000), false },
        { "length field shorter than the text", stateAround (goodText, 20), false },
        { "nested 100 000 deep", stateAround (deeplyNestedXml (100000, false), 0x7fffffff), false },
        { "nested 100 000 deep with over-long UTF-8 '>'",
          stateAround (deeplyNestedXml (100000, true), 0x7fffffff),
          false },
        { "broken UTF-8 in a closing tag",
          stateAround (blockOf ("<Ostrel></" + std::string (4000, '\xda') + ">"), 0x7fffffff),
          false },
        // The framework's reader loops for ever on text after a processing instruction inside an element.
        { "text after an instruction",
          stateAround (blockOf ("<?xml version=\"1.0\"?> <Ostrel><?x?>a</Ostrel>"), 0x7fffffff),
          false },
        { "text after an instruction, comments and spaces",
          stateAround (blockOf ("<Ostrel> <!-- c --> <?x y?> <!--d--><?z?> a</Ostrel>"), 0x7fffffff),
          false },
        { "a tag after an instruction", withTextBeforeFirstTag (goodText, "<?x?> "), true },
        // The reader reads past the end of a document type's entity and of a text cut in a hex reference.
        { "an entity ending in a hex reference",
          stateAround (blockOf ("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"<b>&#x\">]><Ostrel>&a;</Ostrel>"),
                       0x7fffffff),
          false },
        { "an attribute of 16 MiB", withHugeAttribute (goodText), true },
    };

    ASSERT_GT (cases.back().bytes.getSize(), (size_t) 1 << 24);

    // The length field ends the text right after the reference (a state the host cut, or made up).
    for (const std::string text : { "<Ostrel>&#x", "<Ostrel a=\"&#X1f" })
        cases.push_back (
            { "text cut in a hex reference", stateAround (blockOf (text), (juce::uint32) text.size()), false });

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ProcessorHarness subject, control;
        for (auto* host : { &subject, &control })
            useTestSound (*host);

        routing_fixtures::restore (*subject.processor, c.bytes);
        if (c.restores)
            routing_fixtures::restore (*control.processor, good);

        EXPECT_EQ (routing_fixtures::allRawValues (*subject.processor),
                   routing_fixtures::allRawValues (*control.processor));
        EXPECT_TRUE (subject.processor->valueTreeState.state.hasType ("Ostrel"));

        const auto heard = playBoth (subject, control, 40, { noteOn (0, 60), noteOn (10, 67) });
        EXPECT_TRUE (heard.finite);
        EXPECT_TRUE (heard.identical);
        EXPECT_GT (heard.peak, 0.0f);
    }
}

// Every parameter of a state at once at NaN, infinity or far outside its range, and then a chord. The framework
// takes a child of any tag that carries a parameter's ID for that parameter's.
TEST (BadInput, StateWithEveryParameterBroken)
{
    const char* broken[]{ "nan", "inf", "-inf", "1e30", "-1e30", "3.4e38" };

    for (const auto* tag : { "PARAM", "OTHER" })
        for (const auto* value : broken)
        {
            SCOPED_TRACE (juce::String (tag) + " " + value);
            ProcessorHarness host;
            fillGridWithPattern (*host.processor);

            juce::XmlElement xml ("Ostrel");
            for (auto* group : host.processor->allConfigs)
                for (const auto& config : *group)
                {
                    auto* child = xml.createNewChildElement (tag);
                    child->setAttribute ("id", config.paramID);
                    child->setAttribute ("value", value);
                }
            routing_fixtures::restore (*host.processor, routing_fixtures::stateBlob (xml));

            for (auto* group : host.processor->allConfigs)
                for (const auto& config : *group)
                    ASSERT_TRUE (std::isfinite (config.raw())) << config.paramID;

            const auto peak = peakOfFiniteRun (host,
                                               100,
                                               host.blockSize,
                                               { noteOn (0, 36), noteOn (5, 60), noteOn (9, 84), noteOn (20, 127) });
            EXPECT_TRUE (std::isfinite (peak));
            EXPECT_LT (peak, 1.0e4f);
        }
}

// Exponents the framework's number reader would overflow on read as the huge or tiny numbers they are.
TEST (BadInput, StateNumberExponentsReadAsTheirValue)
{
    const std::tuple<const char*, const char*, float> cases[]{
        { "Glide", "1e4294967297", 100.0f },                // wrapped: 1e1
        { "Gain", "-1e4294967297", -48.0f },                // wrapped: -1e1
        { "Decay", "4.2e-4294967295", 0.0f },               // wrapped: 4.2e1
        { "Release", "0.5e+0000000000000000000001", 5.0f }, // leading zeros are no digits
    };

    juce::XmlElement xml ("Ostrel");
    for (const auto& [id, text, expected] : cases)
    {
        auto* child = xml.createNewChildElement ("PARAM");
        child->setAttribute ("id", id);
        child->setAttribute ("value", text);
    }

    ProcessorHarness host;
    routing_fixtures::restore (*host.processor, routing_fixtures::stateBlob (xml));

    for (const auto& [id, text, expected] : cases)
        EXPECT_FLOAT_EQ (routing_fixtures::rawValue (*host.processor, id), expected) << id << " = " << text;
}

//==============================================================================
TEST (BadInput, PresetsFiles)
{
    using routing_fixtures::presetObject;
    using routing_fixtures::presetsText;

    std::map<juce::String, double> fullPreset;
    {
        OstrelAudioProcessor model;
        for (auto* group : model.allConfigs)
            for (const auto& config : *group)
                fullPreset[config.paramID] = config.raw();
    }

    juce::Array<juce::var> many;
    for (int i = 0; i < 300; ++i)
    {
        fullPreset["Attack"] = (double) (i % 100);
        many.add (presetObject ("Preset " + juce::String (i), fullPreset));
    }

    struct Case
    {
        const char* name;
        juce::String text;
        int numPresets;
    };

    const std::vector<Case> cases{
        { "NaN written as NaN",
          "{\"OstrelPresets.json\": [{\"PresetName\": \"n\", \"Attack\": NaN, \"Decay\": -NaN}]}",
          0 },
        { "infinity written as 1e999 and -1e999",
          "{\"OstrelPresets.json\": [{\"PresetName\": \"i\", \"Attack\": 1e999, \"Gain\": -1e999}]}",
          1 },
        { "values of every other JSON type",
          "{\"OstrelPresets.json\": [{\"PresetName\": 7, \"Attack\": \"12\", \"Decay\": [1, 2], \"Sustain\": {\"a\": "
          "1},"
          " \"Release\": true, \"Freq\": null, \"Gain\": \"loud\", \"imagePath\": [\"/nowhere.png\"]}]}",
          1 },
        { "nested 100 000 deep", "{\"OstrelPresets.json\": [" + repeated ("[", 100000) + "]}", 0 },
        { "nested 100 000 deep in a string's disguise",
          "{\"OstrelPresets.json\": [\"\\\\\"" + repeated ("{", 100000) + "]}",
          0 },
        { "three hundred full presets (8 MB)", presetsText (many), 300 },
        { "integer literals too long for a 64-bit integer",
          "{\"OstrelPresets.json\": [{\"PresetName\": \"big\", \"Freq\": 18446744073709551617, "
          "\"Gain\": -99999999999999999999999, \"Decay\": 4}]}",
          1 },
        { "a name of 4 MiB",
          "{\"OstrelPresets.json\": [{\"PresetName\": \"" + repeated ("x", 1 << 22) + "\", \"Attack\": 7}]}",
          1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        routing_fixtures::writePresetsFile (c.text);
        ProcessorHarness subject;
        useTestSound (subject);
        ASSERT_EQ ((int) subject.processor->programs.size(), c.numPresets);

        for (int index = 1; index <= c.numPresets; index += 97)
            subject.processor->setCurrentProgram (index);
        useSecondOscillatorOnly (subject, 1);

        for (auto* group : subject.processor->allConfigs)
            for (const auto& config : *group)
                ASSERT_TRUE (std::isfinite (config.raw())) << config.paramID;

        EXPECT_TRUE (std::isfinite (peakOfFiniteRun (subject, 20, 256, { noteOn (0, 60) })));

        // Saving over the bad file still works: a file that was not a presets file holds just the new preset.
        ASSERT_TRUE (subject.processor->savePreset (subject.processor->makeProgramFromCurrentSettings ("After")));
        OstrelAudioProcessor reader;
        EXPECT_EQ ((int) reader.programs.size(), c.numPresets + 1);
        EXPECT_EQ (reader.programs.back().name, "After");
    }
}

TEST (BadInput, PresetsTextParsesWithoutAFile)
{
    OstrelAudioProcessor processor;
    const auto text = routing_fixtures::presetsText ({ routing_fixtures::presetObject ("One", { { "Decay", 4.0 } }) });

    const auto programs = processor.presetsFileFormat.parse (text);
    ASSERT_EQ (programs.size(), 1u);
    EXPECT_EQ (programs[0].name, "One");
    EXPECT_EQ (programs[0].values.size(), 1027u);
    EXPECT_FLOAT_EQ (programs[0].values[1], 4.0f);
    EXPECT_TRUE (processor.presetsFileFormat.parse ({}).empty());
    EXPECT_TRUE (processor.presetsFileFormat.parse ("[" + repeated ("{\"a\":", 50000)).empty());
}

// Literals that the framework's JSON reader would overflow on read as the numbers they are, and the rest of the
// preset still loads.
TEST (BadInput, PresetsNumberLiteralsReadAsTheirValue)
{
    OstrelAudioProcessor processor;
    const auto freq = (size_t) processor.parameterIndex.at ("Freq");
    const auto decay = (size_t) processor.parameterIndex.at ("Decay");
    const auto infinity = std::numeric_limits<double>::infinity();

    struct Case
    {
        const char* literal;
        double value;
    };

    const std::vector<Case> cases{
        { "123", 123.0 },
        { "-17.25", -17.25 },
        { "9223372036854775807", 9223372036854775807.0 },
        { "9223372036854775808", 9223372036854775808.0 },
        { "18446744073709551617", 18446744073709551617.0 },
        { "-18446744073709551617", -18446744073709551617.0 },
        { "66666666666666666666.5", 66666666666666666666.5 },
        { "18446744073709551617e-10", 1844674407.3709551617 },
        { "1e0000000000000000000000005", 1.0e5 },
        { "2e4000000000", infinity },
        { "-2e4000000000", -infinity },
        { "3e-4000000000", 0.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.literal);
        const auto text = juce::String ("{\"OstrelPresets.json\": [{\"PresetName\": \"n\", \"Freq\": ") + c.literal
                          + ", \"Decay\": 4}]}";
        const auto programs = processor.presetsFileFormat.parse (text);
        ASSERT_EQ (programs.size(), 1u);
        EXPECT_EQ (programs[0].values[freq], (float) c.value);
        EXPECT_EQ (programs[0].values[decay], 4.0f);
    }

    // A literal of hundreds of digits, either side of the point.
    const auto longOne =
        processor.presetsFileFormat.parse ("{\"OstrelPresets.json\": [{\"Freq\": 1" + repeated ("0", 400)
                                           + ", \"Gain\": 0." + repeated ("0", 400) + "1}]}");
    ASSERT_EQ (longOne.size(), 1u);
    EXPECT_EQ (longOne[0].values[freq], std::numeric_limits<float>::infinity());
    EXPECT_EQ (longOne[0].values[(size_t) processor.parameterIndex.at ("Gain")], 0.0f);

    // After a '-' the reader would take any character as a digit: such text is not a number.
    EXPECT_TRUE (
        processor.presetsFileFormat.parse ("{\"OstrelPresets.json\": [{\"Freq\": -x99999999999999999999}]}").empty());
    EXPECT_TRUE (processor.presetsFileFormat
                     .parse (juce::CharPointer_UTF8 ("{\"OstrelPresets.json\": [{\"Freq\": - \xce\xa9"
                                                     "99999999999999999}]}"))
                     .empty());

    // Digits inside strings are names, not numbers.
    const auto named =
        processor.presetsFileFormat.parse ("{\"OstrelPresets.json\": [{\"PresetName\": \"99999999999999999999\"}]}");
    ASSERT_EQ (named.size(), 1u);
    EXPECT_EQ (named[0].name, "99999999999999999999");
}

//==============================================================================
// A picture that fails to load while notes sound: the grid, the wavetables and the sound stay as they were.
TEST (BadInput, PicturesWhilePlaying)
{
    using namespace picture_fixtures;

    const auto png = encodePng (noisePicture (64, 64, juce::Image::RGB, 70));
    auto huge = encodePng (filledPicture (1, 1, juce::Colours::white));
    static_cast<juce::uint8*> (huge.getData())[17] = 0x9c; // declares 40 000 pixels wide
    const auto good = picture_fixtures::writePng ("good.png", noisePicture (200, 150, juce::Image::RGB, 71));

    const std::vector<std::pair<const char*, juce::String>> badPaths{
        { "missing",
          juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile ("gone.png").getFullPathName() },
        { "empty", writeFile ("empty.png", {}) },
        { "truncated", writeFile ("cut.png", truncated (png, png.getSize() / 3)) },
        { "wrong content", writeFile ("words.jpg", juce::MemoryBlock ("GIF89a, but only words follow", 29)) },
        { "huge dimensions", writeFile ("huge.png", huge) },
    };

    for (const auto& [name, path] : badPaths)
    {
        SCOPED_TRACE (name);
        ProcessorHarness subject, control;

        for (auto* host : { &subject, &control })
        {
            // The transform passes run here, by hand, so that both grids are drawn alike.
            host->processor->imageUpdateWanted = false;
            host->processor->loadFile (good, false);
            host->processor->updateImageManupulations();
            host->set ("subBass", 0.0f);
            host->set ("Shift", 75.0f);
        }

        ASSERT_TRUE (playBoth (subject, control, 10, { noteOn (0, 57), noteOn (3, 64) }).identical);

        const auto grid = gridCopy (*subject.processor);
        subject.processor->loadFile (path, false);
        subject.processor->updateImageManupulations();
        control.processor->updateImageManupulations();

        EXPECT_EQ (gridCopy (*subject.processor), grid);
        const auto heard = playBoth (subject, control, 30);
        EXPECT_TRUE (heard.finite);
        EXPECT_TRUE (heard.identical);
        EXPECT_GT (heard.peak, 0.0f);
    }
}

//==============================================================================
TEST (BadInput, MidiMessages)
{
    struct Case
    {
        const char* name;
        std::vector<juce::uint8> bytes;
        bool changesNothing;
    };

    const std::vector<Case> cases{
        { "running status: data bytes without a status byte", { 0x3c, 0x40 }, true },
        { "1-byte note-on (a note-off for note 0)", { 0x90 }, true },
        { "1-byte note-off", { 0x80 }, true },
        { "1-byte controller", { 0xb0 }, true },
        { "1-byte program change", { 0xc0 }, true },
        { "1-byte channel pressure", { 0xd0 }, true },
        { "1-byte pitch bend (bends fully down)", { 0xe0 }, false },
        { "2-byte note-on (velocity 0: a note-off)", { 0x91, 0x3c }, false },
        { "timing clock", { 0xf8 }, true },
        { "system reset", { 0xff }, true },
        { "SysEx", { 0xf0, 0x7e, 0x7f, 0x09, 0x01, 0xf7 }, true },
        { "SysEx of three bytes", { 0xf0, 0x3c, 0xf7 }, true },
        { "SysEx without its end", { 0xf0, 0x43, 0x10, 0x4c, 0x00, 0x00, 0x7e, 0x00 }, true },
        { "meta event", { 0xff, 0x2f, 0x00 }, true },
        { "note 200 (plays 72)", { 0x90, 0xc8, 0x64 }, false },
        { "note 127", { 0x90, 0x7f, 0x7f }, false },
        { "note 0", { 0x90, 0x00, 0x7f }, false },
        { "velocity 255", { 0x90, 0x40, 0xff }, false },
        { "note-off for a note never played", { 0x80, 0x22, 0x40 }, true },
        { "pressure byte 255", { 0xd0, 0xff }, false },
        { "pitch-bend bytes 255", { 0xe0, 0xff, 0xff }, false },
        { "controller 255 value 255", { 0xb0, 0xff, 0xff }, true },
        { "mod wheel value 255", { 0xb0, 0x01, 0xff }, false },
        { "sustain value 255 (holds)", { 0xb0, 0x40, 0xff }, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        ProcessorHarness subject, control;
        for (auto* host : { &subject, &control })
        {
            useTestSound (*host);
            // Every MIDI source routed somewhere, so that a source a message moves is heard.
            routing_fixtures::setAndBookCell (*host->processor,
                                              ModType::Midi,
                                              host->processor->parameterIndex.at ("Gain"),
                                              1,
                                              0.5f);
            routing_fixtures::setAndBookCell (*host->processor,
                                              ModType::Midi,
                                              host->processor->parameterIndex.at ("Decay"),
                                              2,
                                              1.0f);
        }

        ASSERT_TRUE (playBoth (subject, control, 4, { noteOn (0, 60) }).identical);

        int messagesSeen = 0;
        subject.processor->incomingMidiCallback = [&messagesSeen] (const juce::MidiMessage& message)
        {
            // What an editor's callback reads of a message.
            if (message.isNoteOnOrOff() || message.getRawDataSize() > 0)
                ++messagesSeen;
        };

        juce::AudioBuffer<float> output (2, subject.blockSize);
        output.clear();
        juce::MidiBuffer bad;
        bad.addEvent (c.bytes.data(), (int) c.bytes.size(), 17);
        subject.processor->processBlock (output, bad);
        control.process (control.blockSize);

        for (int i = 0; i < output.getNumSamples(); ++i)
            ASSERT_TRUE (std::isfinite (output.getSample (0, i)));

        const auto heard = playBoth (subject, control, 20);
        EXPECT_TRUE (heard.finite);
        EXPECT_LT (heard.peak, 100.0f);
        if (c.changesNothing)
        {
            EXPECT_TRUE (heard.identical);
        }
        EXPECT_LE (messagesSeen, 1);
    }

    ProcessorHarness host;
    juce::MidiBuffer notes;
    const juce::uint8 note200[]{ 0x90, 0xc8, 0x64 };
    notes.addEvent (note200, 3, 0);
    juce::AudioBuffer<float> output (2, 64);
    host.processor->processBlock (output, notes);
    EXPECT_EQ (host.voice (0).note, 72) << "note numbers are taken modulo 128";
}

//==============================================================================
// Blocks of 0 and 1 samples, of more than the prepared size, and before any preparation; mono and stereo.
TEST (BadInput, BlockSizes)
{
    const int prepared = 256;
    const int sizes[]{ 0, 1, 7, prepared, prepared + 1, 4 * prepared + 3, 8192 };

    for (const auto channels : { 1, 2 })
    {
        for (const auto size : sizes)
        {
            SCOPED_TRACE (juce::String (channels) + " channel(s), blocks of " + juce::String (size));
            ProcessorHarness host (48000.0, prepared, channels);
            useTestSound (host);
            host.set ("OverSample", 2.0f);
            fillGridWithPattern (*host.processor);

            // Notes in every block, as a busy host sends them; a 0-sample block carries them all the same.
            auto peak = 0.0f;
            for (int block = 0; block < 24; ++block)
            {
                const auto blockPeak =
                    peakOfFiniteRun (host, 1, size, { noteOn (0, 48 + block), noteOff (juce::jmax (0, size - 1), 47) });
                ASSERT_TRUE (std::isfinite (blockPeak)) << "block " << block;
                peak = std::max (peak, blockPeak);
            }

            const auto tail = peakOfFiniteRun (host, 40, prepared);
            ASSERT_TRUE (std::isfinite (tail));
            EXPECT_GT (std::max (peak, tail), 0.0f) << "the notes were played";
        }
    }

    // A host that never prepares: the blocks stay silent and finite.
    OstrelAudioProcessor unprepared;
    TestPlayHead playHead;
    unprepared.setPlayHead (&playHead);
    juce::AudioBuffer<float> output (2, 512);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);
    unprepared.processBlock (output, midi);
    for (int i = 0; i < 512; ++i)
        ASSERT_TRUE (std::isfinite (output.getSample (0, i)));
    unprepared.setPlayHead (nullptr);
}

// Every sample rate a host may pick, at every oversampling factor, mono and stereo: the pitch stays right.
TEST (BadInput, SampleRates)
{
    const double rates[]{ 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 };

    for (const auto rate : rates)
    {
        for (const auto overSample : { 0.0f, 1.0f, 2.0f })
        {
            const auto channels = overSample == 1.0f ? 1 : 2;
            SCOPED_TRACE (juce::String (rate) + " Hz, oversampling choice " + juce::String (overSample) + ", "
                          + juce::String (channels) + " channel(s)");
            ProcessorHarness host (rate, 512, channels);
            useSecondOscillatorOnly (host);
            host.set ("Octave", 2.0f); // note 69 at 110 Hz
            host.set ("OverSample", overSample);

            const auto samples = host.run ((int) rate / 2, { noteOn (0, 69) });
            bool finite = true;
            for (auto s : samples)
                finite = finite && std::isfinite (s);

            EXPECT_TRUE (finite);
            // The second oscillator reads its sine in steps, which may rest on zero: a cycle counts after a dip.
            EXPECT_NEAR (zeroCrossingFrequency (samples, rate, samples.size() / 5, 0.3f * peak (samples)),
                         110.0,
                         110.0 * 0.003);
        }
    }
}
