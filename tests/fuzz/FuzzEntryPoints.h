#pragma once

#include <cstddef>
#include <cstdint>

// The entry points libFuzzer calls: each target defines the first, FuzzSupport.cpp the second for the targets that
// share its processor.
extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize (int* argc, char*** argv);
