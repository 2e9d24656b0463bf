#pragma once

#include "ProcessorSupport.h"
#include "SignalMeasures.h"

#include <gtest/gtest.h>
