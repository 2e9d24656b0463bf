#include "ProcessorSupport.h"

#include <gtest/gtest.h>

namespace
{
struct BaseRecord
{
    juce::String name;
    juce::String paramID;
    float min, max, defaultValue;
    int kind;
    juce::StringArray choices;
};

const juce::StringArray filterTypes{ "Low Pass", "High Pass", "Band Pass" };
const juce::StringArray oscTypes{ "Sin", "Saw", "Square", "Triangle", "Noise" };
const juce::StringArray lfoWaves{ "Sine", "Saw", "Square", "Triangle", "Random" };
const juce::StringArray noteLengths{ "1nd", "1n",   "1nt",  "2nd", "2n",   "2nt",   "4nd",  "4n",
                                     "4nt", "8nd",  "8n",   "8nt", "16nd", "16n",   "16nt", "32nd",
                                     "32n", "32nt", "64nd", "64n", "64nt", "128nd", "128n", "128nt" };

std::vector<BaseRecord> envelopeRecords (const juce::String& suffix, float releaseDefault)
{
    std::vector<BaseRecord> records;
    const char* names[] = { "Attack", "Decay", "Sustain", "Release" };
    const float mins[] = { 0.0f, 0.0f, 0.01f, 0.0f };
    const float maxs[] = { 100.0f, 100.0f, 1.0f, 100.0f };
    const float defaults[] = { 0.1f, 20.0f, 0.7f, releaseDefault };
    for (int i = 0; i < 4; ++i)
        records.push_back ({ names[i], names[i] + suffix, mins[i], maxs[i], defaults[i], 0, {} });
    return records;
}

/** The whole base-record table in model order. */
std::vector<BaseRecord> expectedBaseRecords()
{
    std::vector<BaseRecord> records = envelopeRecords ({}, 20.0f);

    const std::vector<BaseRecord> middle{
        { "Freq", "Freq", 50, 20000, 20000, 1, {} },
        { "Q", "Q", 0, 0.99f, 0.01f, 0, {} },
        { "Type", "Type", 0, 1, 0, 2, filterTypes },
        { "Rotate", "Rotate", -180, 180, 0, 0, {} },
        { "Zoom", "Zoom", -1, 5, 0, 0, {} },
        { "HSkew", "HSkew", -1, 1, 0, 0, {} },
        { "VSkew", "VSkew", -1, 1, 0, 0, {} },
        { "Up-Down", "Up-Down", -1, 1, 0, 0, {} },
        { "Left-Right", "Left-Right", -1, 1, 0, 0, {} },
        { "..", "..", 0, 511, 256, 0, {} },
        { ":", ":", 0, 511, 256, 0, {} },
        { "Shift", "Shift", 0, 511, 256, 0, {} },
        { "Circle", "TypeCircle", 0, 1, 0, 3, {} },
        { "Smooth", "Smooth", 0, 0.99f, 0, 0, {} },
    };
    records.insert (records.end(), middle.begin(), middle.end());

    const auto filterEnvelope = envelopeRecords ("Filter", 80.0f);
    records.insert (records.end(), filterEnvelope.begin(), filterEnvelope.end());

    const std::vector<BaseRecord> global{
        { "Gain", "Gain", -48, 12, 0, 0, {} },
        { "Mono", "Mono", 0, 0.99f, 0, 3, {} },
        { "HiFidel", "HiFidel", 0, 0.99f, 0, 3, {} },
        { "Glide", "Glide", 0, 100, 0, 0, {} },
        { "Octave", "Octave", 0, 100, 2, 4, { "-2", "-1", "0", "1", "2" } },
        { "VeloShift", "VeloShift", 0, 0.99f, 0, 0, {} },
        { "subBass", "subBass", 0, 0.99f, 0, 0, {} },
        { "subBassOc", "subBassOc", 0, 0.99f, 1, 4, { "-1", "0", "1" } },
        { "2OscType", "2OscType", 0, 1, 0, 2, oscTypes },
        { "Tune Image", "fineTuneImg", -12, 12, 0, 5, {} },
        { "Tune 2. Osc", "fineTuneMain", -12, 12, 0, 5, {} },
        { "Vel.Ign.", "IgnoreVel", 0, 0.99f, 0, 3, {} },
        { "OverSample", "OverSample", 0, 0.99f, 1, 2, { "OverSample x2", "OverSample x4", "OverSample x8" } },
    };
    records.insert (records.end(), global.begin(), global.end());

    for (int n = 1; n <= 4; ++n)
    {
        const std::vector<BaseRecord> lfo{
            { "Rate", "LFORate", 0.01f, 10, 1, 0, {} },     { "Amount", "LFOAmount", -1, 1, 0, 0, {} },
            { "Offset", "LFOOffset", -1, 1, 0, 0, {} },     { "Sync", "LFOSync", 0, 1, 0, 3, {} },
            { "LFOType", "LFOType", 1, 3, 0, 2, lfoWaves }, { "Rate", "LFORateDiscrete", 1, 24, 1, 4, noteLengths },
            { "Retrigger", "Retrigger", 0, 1, 0, 3, {} },
        };
        for (auto record : lfo)
        {
            record.paramID << n;
            records.push_back (record);
        }
    }
    for (int n = 1; n <= 4; ++n)
        for (auto record : envelopeRecords (juce::String (n), 20.0f))
            records.push_back (record);

    return records;
}
} // namespace

TEST (ParameterModel, BaseRecordsMatchTheTableAndTheCreatedParameters)
{
    OstrelAudioProcessor processor;
    const auto expected = expectedBaseRecords();
    ASSERT_EQ (expected.size(), 79u);
    ASSERT_EQ (processor.modulationTargets.size(), 79u);

    for (size_t i = 0; i < expected.size(); ++i)
    {
        const auto& want = expected[i];
        const auto& config = *processor.modulationTargets[i];
        SCOPED_TRACE (want.paramID.toStdString());

        EXPECT_EQ (config.name, want.name);
        EXPECT_EQ (config.paramID, want.paramID);
        EXPECT_EQ (config.min, want.min);
        EXPECT_EQ (config.max, want.max);
        EXPECT_EQ (config.defaultValue, want.defaultValue);
        EXPECT_EQ (config.type, want.kind);
        EXPECT_EQ (config.choices, want.choices);
        EXPECT_EQ (processor.modulationTargetIds[(int) i], want.paramID);

        auto* parameter = processor.valueTreeState.getParameter (want.paramID);
        ASSERT_NE (parameter, nullptr);
        EXPECT_EQ (config.value, processor.valueTreeState.getRawParameterValue (want.paramID));
        EXPECT_EQ (parameter->getName (100), want.name);

        if (want.kind == 0 || want.kind == 1 || want.kind == 5)
        {
            auto* floatParameter = dynamic_cast<juce::AudioParameterFloat*> (parameter);
            ASSERT_NE (floatParameter, nullptr);
            EXPECT_EQ (floatParameter->range.start, want.min);
            EXPECT_EQ (floatParameter->range.end, want.max);
            EXPECT_EQ (floatParameter->range.interval, 0.01f);
            EXPECT_EQ (floatParameter->range.skew, 1.0f);
            EXPECT_NEAR (floatParameter->get(), want.defaultValue, 1.0e-4f);
            EXPECT_NEAR (config.raw(), want.defaultValue, 1.0e-4f);
        }
        else if (want.kind == 2 || want.kind == 4)
        {
            auto* choiceParameter = dynamic_cast<juce::AudioParameterChoice*> (parameter);
            ASSERT_NE (choiceParameter, nullptr);
            EXPECT_EQ (choiceParameter->choices, want.choices);
            EXPECT_EQ (choiceParameter->getIndex(), (int) want.defaultValue);
            EXPECT_EQ (config.raw(), (float) (int) want.defaultValue);
        }
        else
        {
            auto* boolParameter = dynamic_cast<juce::AudioParameterBool*> (parameter);
            ASSERT_NE (boolParameter, nullptr);
            EXPECT_EQ (boolParameter->get(), want.defaultValue != 0.0f);
        }
    }
}

TEST (ParameterModel, GroupsAndHostParametersFollowModelOrder)
{
    OstrelAudioProcessor processor;
    const std::vector<ParameterGroup*> expectedGroups{
        &processor.adsrVoiceConfigs,  &processor.filterConfigs,     &processor.affineConfigs,
        &processor.intervalConfigs,   &processor.adsrFilterConfigs, &processor.globalSynthConfigs,
        &processor.overSampleConfigs, &processor.lfoConfigs[0],     &processor.lfoConfigs[1],
        &processor.lfoConfigs[2],     &processor.lfoConfigs[3],     &processor.envConfigs[0],
        &processor.envConfigs[1],     &processor.envConfigs[2],     &processor.envConfigs[3],
        &processor.lfoMatrixConfigs,  &processor.envMatrixConfigs,  &processor.midiMatrixConfigs
    };
    ASSERT_EQ (processor.allConfigs, expectedGroups);

    juce::StringArray modelOrder;
    for (auto* group : processor.allConfigs)
        for (auto& config : *group)
            modelOrder.add (config.paramID);
    modelOrder.add ("filterType");

    const auto& hostParameters = processor.getParameters();
    ASSERT_EQ (hostParameters.size(), 1028);
    ASSERT_EQ (modelOrder.size(), 1028);
    for (int i = 0; i < hostParameters.size(); ++i)
    {
        auto* withID = dynamic_cast<juce::AudioProcessorParameterWithID*> (hostParameters[i]);
        ASSERT_NE (withID, nullptr);
        EXPECT_EQ (withID->getParameterID(), modelOrder[i]) << "host parameter " << i;
        EXPECT_EQ (withID->getVersionHint(), 1);
    }
}

TEST (ParameterModel, MatrixRecordsJoinSourceAndTarget)
{
    OstrelAudioProcessor processor;
    const std::pair<ParameterGroup*, juce::StringArray> matrices[]{
        { &processor.lfoMatrixConfigs, { "LFO1", "LFO2", "LFO3", "LFO4" } },
        { &processor.envMatrixConfigs, { "Env1", "Env2", "Env3", "Env4" } },
        { &processor.midiMatrixConfigs, { "Vel", "Press", "Mod", "Rand" } },
    };

    for (const auto& [matrix, sources] : matrices)
    {
        ASSERT_EQ (matrix->size(), 316u);
        for (int t = 0; t < 79; ++t)
        {
            for (int s = 0; s < 4; ++s)
            {
                const auto& config = (*matrix)[(size_t) (4 * t + s)];
                const auto target = processor.modulationTargetIds[t];
                EXPECT_EQ (config.name, sources[s] + " " + target);
                EXPECT_EQ (config.paramID, "Mod_" + sources[s] + "_" + target);
                EXPECT_EQ (config.min, -1.0f);
                EXPECT_EQ (config.max, 1.0f);
                EXPECT_EQ (config.defaultValue, 0.0f);
                EXPECT_EQ (config.type, 0);
                EXPECT_TRUE (config.choices.isEmpty());
                EXPECT_NE (processor.valueTreeState.getParameter (config.paramID), nullptr);
            }
        }
    }

    EXPECT_EQ (createParamIDforMatrix ("LFO1", "Freq"), "Mod_LFO1_Freq");
    EXPECT_EQ (processor.lfoMatrixConfigs[4 * 13 + 0].paramID, "Mod_LFO1_..");
    EXPECT_EQ (processor.midiMatrixConfigs[4 * 14 + 3].paramID, "Mod_Rand_:");
    EXPECT_EQ (processor.midiMatrixConfigs[4 * 14 + 3].name, "Rand :");
}

TEST (ParameterModel, IndexNoteLengthsAndExtraParameter)
{
    OstrelAudioProcessor processor;

    ASSERT_EQ (processor.parameterIndex.size(), 79u);
    for (int i = 0; i < 79; ++i)
        EXPECT_EQ (processor.parameterIndex.at (processor.modulationTargetIds[i]), i);
    EXPECT_EQ (processor.parameterIndex.count ("filterType"), 0u);
    EXPECT_EQ (processor.parameterIndex.count ("Mod_LFO1_Freq"), 0u);
    EXPECT_EQ (processor.parameterIndex.at ("Retrigger4"), 62);
    EXPECT_EQ (processor.parameterIndex.at ("Release4"), 78);

    const std::vector<float> beats{ 6.0f,     4.0f,    2.6666667f,   3.0f,      2.0f,     1.3333334f,
                                    1.5f,     1.0f,    0.6666667f,   0.75f,     0.5f,     0.33333334f,
                                    0.375f,   0.25f,   0.16666667f,  0.1875f,   0.125f,   0.083333336f,
                                    0.09375f, 0.0625f, 0.041666668f, 0.046875f, 0.03125f, 0.020833334f };
    EXPECT_EQ (processor.noteLengthBeats, beats);

    auto* filterType = dynamic_cast<juce::AudioParameterChoice*> (processor.valueTreeState.getParameter ("filterType"));
    ASSERT_NE (filterType, nullptr);
    EXPECT_EQ (filterType->getName (100), "filterType");
    EXPECT_EQ (filterType->choices, (juce::StringArray{ "Filter 1", "Filter 2" }));
    EXPECT_EQ (filterType->getIndex(), 0);

    EXPECT_EQ (processor.valueTreeState.state.getType().toString(), "Ostrel");
}

TEST (ParameterModel, FloatParametersSnapToHundredths)
{
    OstrelAudioProcessor processor;
    testing_helpers::setRaw (processor, "Freq", 1234.567f);
    EXPECT_NEAR (processor.filterConfigs[0].raw(), 1234.57f, 1.0e-3f);
    testing_helpers::setRaw (processor, "Q", 0.333f);
    EXPECT_NEAR (processor.filterConfigs[1].raw(), 0.33f, 1.0e-6f);
}
