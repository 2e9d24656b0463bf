#include "TestHelpers.h"

TEST (HostConstants, AnswerTheHostsSimpleQueries)
{
    OstrelAudioProcessor processor;
    EXPECT_EQ (processor.getName(), "Ostrel");
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_TRUE (processor.producesMidi());
    EXPECT_FALSE (processor.isMidiEffect());
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (processor.hasEditor());
}
