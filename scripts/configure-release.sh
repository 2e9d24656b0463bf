#!/usr/bin/env bash
# Configures build/, the Release build that run.sh, test.sh and bench.sh share, with every option they need: the
# plug-in formats, the tests and the benchmarks. Every option is given on every run, so an older build/ configured
# otherwise (CMake keeps options in its cache) is set right again, whichever of the three commands ran before.
# Further arguments are passed to CMake after these (test.sh makes warnings errors with them).
set -euo pipefail
cd "$(dirname "$0")/.."

# A build folder keeps the generator it was made with; name Ninja only for a new one.
generator=()
if [ ! -f build/CMakeCache.txt ]; then
    generator=(-G Ninja)
fi

cmake -S . -B build "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=Release \
    -DOSTREL_BUILD_PLUGIN=ON \
    -DOSTREL_BUILD_TESTS=ON \
    -DOSTREL_BUILD_BENCHMARKS=ON \
    -DOSTREL_BUILD_FUZZERS=OFF \
    -DOSTREL_SANITIZERS= \
    -DOSTREL_WARNINGS_AS_ERRORS=OFF \
    "$@"
