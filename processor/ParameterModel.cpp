#include "PluginProcessor.h"

const juce::String pluginPresetFileCheckName{ "OstrelPresets.json" };
juce::SpinLock spinCriticalSection;
juce::SpinLock spinCriticalSectionLoadWaveBuffer;

juce::String createParamIDforMatrix (juce::String source, juce::String target)
{
    return "Mod_" + source + "_" + target;
}

namespace
{
ParameterConfig makeConfig (const juce::String& name,
                            const juce::String& paramID,
                            float min,
                            float max,
                            float defaultValue,
                            int type,
                            const juce::StringArray& choices = {})
{
    ParameterConfig config;
    config.name = name;
    config.paramID = paramID;
    config.min = min;
    config.max = max;
    config.defaultValue = defaultValue;
    config.type = type;
    config.choices = choices;
    return config;
}

using namespace ParameterKind;

ParameterGroup makeAdsrGroup (const juce::String& idSuffix, float releaseDefault)
{
    return { makeConfig ("Attack", "Attack" + idSuffix, 0.0f, 100.0f, 0.1f, rotary),
             makeConfig ("Decay", "Decay" + idSuffix, 0.0f, 100.0f, 20.0f, rotary),
             makeConfig ("Sustain", "Sustain" + idSuffix, 0.01f, 1.0f, 0.7f, rotary),
             makeConfig ("Release", "Release" + idSuffix, 0.0f, 100.0f, releaseDefault, rotary) };
}
} // namespace

IProcessor::IProcessor()
{
    filterTypeNames = { "Low Pass", "High Pass", "Band Pass" };

    intervalConfigs = { makeConfig ("..", "..", 0.0f, 511.0f, 256.0f, rotary),
                        makeConfig (":", ":", 0.0f, 511.0f, 256.0f, rotary),
                        makeConfig ("Shift", "Shift", 0.0f, 511.0f, 256.0f, rotary),
                        makeConfig ("Circle", "TypeCircle", 0.0f, 1.0f, 0.0f, toggle),
                        makeConfig ("Smooth", "Smooth", 0.0f, 0.99f, 0.0f, rotary) };

    adsrVoiceConfigs = makeAdsrGroup ({}, 20.0f);
    adsrFilterConfigs = makeAdsrGroup ("Filter", 80.0f);

    filterConfigs = { makeConfig ("Freq", "Freq", 50.0f, 20000.0f, 20000.0f, logRotary),
                      makeConfig ("Q", "Q", 0.0f, 0.99f, 0.01f, rotary),
                      makeConfig ("Type", "Type", 0.0f, 1.0f, 0.0f, comboBox, filterTypeNames) };

    globalSynthConfigs = {
        makeConfig ("Gain", "Gain", -48.0f, 12.0f, 0.0f, rotary),
        makeConfig ("Mono", "Mono", 0.0f, 0.99f, 0.0f, toggle),
        makeConfig ("HiFidel", "HiFidel", 0.0f, 0.99f, 0.0f, toggle),
        makeConfig ("Glide", "Glide", 0.0f, 100.0f, 0.0f, rotary),
        makeConfig ("Octave", "Octave", 0.0f, 100.0f, 2.0f, choiceRotary, { "-2", "-1", "0", "1", "2" }),
        makeConfig ("VeloShift", "VeloShift", 0.0f, 0.99f, 0.0f, rotary),
        makeConfig ("subBass", "subBass", 0.0f, 0.99f, 0.0f, rotary),
        makeConfig ("subBassOc", "subBassOc", 0.0f, 0.99f, 1.0f, choiceRotary, { "-1", "0", "1" }),
        makeConfig ("2OscType", "2OscType", 0.0f, 1.0f, 0.0f, comboBox, OscMainWaveString),
        makeConfig ("Tune Image", "fineTuneImg", -12.0f, 12.0f, 0.0f, barSlider),
        makeConfig ("Tune 2. Osc", "fineTuneMain", -12.0f, 12.0f, 0.0f, barSlider),
        makeConfig ("Vel.Ign.", "IgnoreVel", 0.0f, 0.99f, 0.0f, toggle),
    };

    overSampleConfigs = { makeConfig ("OverSample",
                                      "OverSample",
                                      0.0f,
                                      0.99f,
                                      1.0f,
                                      comboBox,
                                      { "OverSample x2", "OverSample x4", "OverSample x8" }) };
}

void OstrelAudioProcessor::buildProcessorParameterLists()
{
    lfoWaveNames = { "Sine", "Saw", "Square", "Triangle", "Random" };
    noteLengthNames = { "1nd",  "1n",  "1nt",  "2nd",  "2n",  "2nt",  "4nd",  "4n",  "4nt",  "8nd",   "8n",   "8nt",
                        "16nd", "16n", "16nt", "32nd", "32n", "32nt", "64nd", "64n", "64nt", "128nd", "128n", "128nt" };

    affineConfigs = { makeConfig ("Rotate", "Rotate", -180.0f, 180.0f, 0.0f, rotary),
                      makeConfig ("Zoom", "Zoom", -1.0f, 5.0f, 0.0f, rotary),
                      makeConfig ("HSkew", "HSkew", -1.0f, 1.0f, 0.0f, rotary),
                      makeConfig ("VSkew", "VSkew", -1.0f, 1.0f, 0.0f, rotary),
                      makeConfig ("Up-Down", "Up-Down", -1.0f, 1.0f, 0.0f, rotary),
                      makeConfig ("Left-Right", "Left-Right", -1.0f, 1.0f, 0.0f, rotary) };

    lfoTemplateConfigs = {
        makeConfig ("Rate", "LFORate", 0.01f, 10.0f, 1.0f, rotary),
        makeConfig ("Amount", "LFOAmount", -1.0f, 1.0f, 0.0f, rotary),
        makeConfig ("Offset", "LFOOffset", -1.0f, 1.0f, 0.0f, rotary),
        makeConfig ("Sync", "LFOSync", 0.0f, 1.0f, 0.0f, toggle),
        makeConfig ("LFOType", "LFOType", 1.0f, 3.0f, 0.0f, comboBox, lfoWaveNames),
        makeConfig ("Rate",
                    "LFORateDiscrete",
                    1.0f,
                    (float) noteLengthNames.size(),
                    1.0f,
                    choiceRotary,
                    noteLengthNames),
        makeConfig ("Retrigger", "Retrigger", 0.0f, 1.0f, 0.0f, toggle),
    };

    envSourceNames = { "Env1", "Env2", "Env3", "Env4" };
    lfoSourceNames = { "LFO1", "LFO2", "LFO3", "LFO4" };
    midiSourceNames = { "Vel", "Press", "Mod", "Rand" };

    allConfigs = { &adsrVoiceConfigs,  &filterConfigs,      &affineConfigs,    &intervalConfigs,
                   &adsrFilterConfigs, &globalSynthConfigs, &overSampleConfigs };
}

void OstrelAudioProcessor::completeParameterModel()
{
    // Reserved first, so that the addresses taken below never move.
    lfoConfigs.reserve (numLfos);
    for (int n = 1; n <= numLfos; ++n)
    {
        auto copy = lfoTemplateConfigs;
        for (auto& config : copy)
            config.paramID << n;
        lfoConfigs.push_back (std::move (copy));
        allConfigs.push_back (&lfoConfigs.back());
    }

    envConfigs.reserve (numModEnvelopes);
    for (int n = 1; n <= numModEnvelopes; ++n)
    {
        auto copy = adsrVoiceConfigs;
        for (auto& config : copy)
            config.paramID << n;
        envConfigs.push_back (std::move (copy));
        allConfigs.push_back (&envConfigs.back());
    }

    for (auto* group : allConfigs)
        for (auto& config : *group)
            modulationTargets.push_back (&config);

    for (auto* config : modulationTargets)
    {
        parameterIndex[config->paramID] = modulationTargetIds.size();
        modulationTargetIds.add (config->paramID);
    }

    const auto numTargets = (size_t) modulationTargetIds.size();
    lfoSourcesInUse.assign (numTargets, {});
    envSourcesInUse.assign (numTargets, {});
    midiSourcesInUse.assign (numTargets, {});
    midiModulations.assign (numTargets, {});

    const auto makeMatrixRecord = [] (const juce::String& source, const juce::String& target)
    { return makeConfig (source + " " + target, createParamIDforMatrix (source, target), -1.0f, 1.0f, 0.0f, rotary); };

    for (const auto& target : modulationTargetIds)
    {
        for (const auto& source : envSourceNames)
            envMatrixConfigs.push_back (makeMatrixRecord (source, target));
        for (const auto& source : lfoSourceNames)
            lfoMatrixConfigs.push_back (makeMatrixRecord (source, target));
        for (const auto& source : midiSourceNames)
            midiMatrixConfigs.push_back (makeMatrixRecord (source, target));
    }

    allConfigs.push_back (&lfoMatrixConfigs);
    allConfigs.push_back (&envMatrixConfigs);
    allConfigs.push_back (&midiMatrixConfigs);

    for (auto* group : allConfigs)
    {
        for (auto& config : *group)
        {
            const juce::ParameterID id{ config.paramID, 1 };

            switch (config.type)
            {
                case rotary:
                case logRotary:
                case barSlider:
                    valueTreeState.createAndAddParameter (std::make_unique<juce::AudioParameterFloat> (
                        id,
                        config.name,
                        juce::NormalisableRange<float> (config.min, config.max, 0.01f, 1.0f),
                        config.defaultValue));
                    break;

                case comboBox:
                case choiceRotary:
                    valueTreeState.createAndAddParameter (
                        std::make_unique<juce::AudioParameterChoice> (id,
                                                                      config.name,
                                                                      config.choices,
                                                                      (int) config.defaultValue));
                    break;

                case toggle:
                    valueTreeState.createAndAddParameter (
                        std::make_unique<juce::AudioParameterBool> (id, config.name, config.defaultValue != 0.0f));
                    break;

                default:
                    break;
            }

            config.value = valueTreeState.getRawParameterValue (config.paramID);
        }
    }

    valueTreeState.createAndAddParameter (
        std::make_unique<juce::AudioParameterChoice> (juce::ParameterID ("filterType", 1),
                                                      "filterType",
                                                      juce::StringArray{ "Filter 1", "Filter 2" },
                                                      0));

    valueTreeState.state = juce::ValueTree ("Ostrel");
}

void OstrelAudioProcessor::fillNoteLengthBeats()
{
    noteLengthBeats.resize ((size_t) noteLengthNames.size());
    noteLengthBeats[0] = 6.0f;
    noteLengthBeats[1] = 4.0f;
    noteLengthBeats[2] = 2.6666667f;

    for (size_t i = 3; i < noteLengthBeats.size(); ++i)
        noteLengthBeats[i] = noteLengthBeats[i - 3] * 0.5f;
}

float IProcessor::lfoRate (int i) const noexcept
{
    const auto& group = lfoConfigs[(size_t) i];

    if (group[LfoIndex::sync].raw() != 1.0f)
        return group[LfoIndex::rate].currentValue;

    const auto lastNoteLength = (int) noteLengthBeats.size() - 1;
    const auto n = juce::jlimit (0, lastNoteLength, (int) group[LfoIndex::rateDiscrete].currentValue.load());
    return bpm / 60.0f / noteLengthBeats[(size_t) n];
}
