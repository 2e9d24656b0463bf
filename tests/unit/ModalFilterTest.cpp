#include "processor/Filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace
{
ModalFilter preparedFilter (double sampleRate = 48000.0)
{
    ModalFilter filter;
    filter.prepare (sampleRate);
    return filter;
}

std::vector<float> frequenciesOf (const ModalFilter& filter)
{
    std::vector<float> result;
    for (const auto& mode : filter.modes)
        result.push_back (mode.frequency);
    return result;
}
} // namespace

TEST (ModalFilter, StartsEmptyWithItsConstructionValues)
{
    ModalFilter filter;
    EXPECT_TRUE (filter.modes.empty());
    EXPECT_EQ (filter.seriesType, 0);
    EXPECT_EQ (filter.baseFrequency, 100.0f);
    EXPECT_EQ (filter.decay, 0.5f);
    EXPECT_EQ (filter.decayRatio, 1.0f);
    EXPECT_EQ (filter.sampleRate, 44100.0f);

    filter.updateModeFrequencies(); // nothing to recompute
    EXPECT_TRUE (filter.modes.empty());
}

TEST (ModalFilter, PreparationGivesTheFirstEightHarmonicsOf220Hz)
{
    for (const auto sampleRate : { 44100.0, 96000.0 })
    {
        auto filter = preparedFilter (sampleRate);
        ASSERT_EQ (filter.modes.size(), 8u);
        EXPECT_EQ (filter.sampleRate, (float) sampleRate);
        EXPECT_EQ (filter.baseFrequency, 220.0f);
        EXPECT_EQ (filter.decayRatio, 0.8f);

        for (int i = 0; i < 8; ++i)
        {
            const auto& mode = filter.modes[(size_t) i];
            EXPECT_FLOAT_EQ (mode.frequency, 220.0f * (float) (i + 1));
            EXPECT_FLOAT_EQ (mode.gain, 1.0f / std::sqrt (8.0f));
            EXPECT_FLOAT_EQ (mode.decay, 0.5f * std::pow (0.8f, (float) i / 8.0f));
            EXPECT_EQ (mode.sampleRate, (float) sampleRate);
            EXPECT_EQ (mode.state1, 0.0f);
            EXPECT_EQ (mode.state2, 0.0f);

            const auto r = std::exp (-1.0f / (mode.decay * (float) sampleRate));
            const auto w = 6.2831855f * mode.frequency / (float) sampleRate;
            EXPECT_FLOAT_EQ (mode.a1, -2.0f * r * std::cos (w));
            EXPECT_FLOAT_EQ (mode.a2, r * r);
            EXPECT_FLOAT_EQ (mode.b0, (1.0f - r * r) * 0.5f);
            EXPECT_EQ (mode.b1, 0.0f);
            EXPECT_EQ (mode.b2, -mode.b0);
        }
    }
}

TEST (ModalFilter, PreparationResizesToEightAndClearsState)
{
    ModalFilter filter;
    filter.modes.resize (12);
    filter.modes[0].state1 = 3.0f;
    filter.seriesType = 3;
    filter.prepare (44100.0);
    EXPECT_EQ (filter.modes.size(), 8u);
    EXPECT_EQ (filter.modes[0].state1, 0.0f);
    EXPECT_EQ (filter.seriesType, 0);
    EXPECT_FLOAT_EQ (filter.modes[7].frequency, 1760.0f);
}

TEST (ModalFilter, SeriesTypes)
{
    struct Case
    {
        int type;
        std::vector<float> ratios;
    };

    const Case cases[]{
        { 0, { 1, 2, 3, 4, 5, 6 } },
        { 1, { 1.2f, 2.4f, 3.0f, 4.2f, 5.4f, 6.0f } },
        { 3,
          { std::pow (2.0f, 1.0f / 12),
            std::pow (2.0f, 2.0f / 12),
            std::pow (2.0f, 3.0f / 12),
            std::pow (2.0f, 4.0f / 12),
            std::pow (2.0f, 5.0f / 12),
            std::pow (2.0f, 6.0f / 12) } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.type);
        ModalFilter filter;
        filter.modes.resize (6);
        filter.baseFrequency = 100.0f;
        filter.seriesType = c.type;
        filter.updateModeFrequencies();

        for (size_t i = 0; i < 6; ++i)
            EXPECT_NEAR (filter.modes[i].frequency, 100.0f * c.ratios[i], 1.0e-3f) << i;
        EXPECT_FLOAT_EQ (filter.modes[0].gain, 1.0f / std::sqrt (6.0f));
    }

    ModalFilter unknown;
    unknown.modes.resize (3);
    unknown.seriesType = 7;
    unknown.updateModeFrequencies();
    EXPECT_EQ (unknown.modes[2].frequency, 1000.0f) << "other types leave the frequencies as they are";
}

TEST (ModalFilter, RandomSeriesDrawsNewFrequenciesEveryTime)
{
    std::srand (1234);
    ModalFilter filter;
    filter.modes.resize (8);
    filter.baseFrequency = 200.0f;
    filter.seriesType = 2;

    filter.updateModeFrequencies();
    const auto first = frequenciesOf (filter);
    filter.updateModeFrequencies();
    const auto second = frequenciesOf (filter);

    EXPECT_NE (first, second);
    for (const auto frequency : first)
    {
        EXPECT_GE (frequency, 200.0f);
        EXPECT_LT (frequency, 300.0f);
    }
}

TEST (ModalFilter, FrequenciesAboveNyquistStillGiveFiniteCoefficients)
{
    ModalFilter filter = preparedFilter (44100.0);
    filter.baseFrequency = 9000.0f; // modes 3..8 lie above 22050 Hz
    filter.decay = 0.001f;
    filter.updateModeFrequencies();

    for (const auto& mode : filter.modes)
    {
        for (const auto value : { mode.a1, mode.a2, mode.b0, mode.b1, mode.b2 })
            EXPECT_TRUE (std::isfinite (value)) << mode.frequency;
        EXPECT_LT (mode.a2, 1.0f);
    }
}
