#!/usr/bin/env bash
# Builds Ostrel with its tests and runs every test: the plain Release build (build/) with its CTest suite and
# real-host checks, and three builds with clang's sanitizers, each in its own folder:
#   build-tsan/  the unit and editor tests under ThreadSanitizer (whose runtime leaves no room for the allocation
#                guard)
#   build-asan/  the unit and editor tests, the allocation guard and the real-host checks (the LV2 and the VST3
#                binary built with the sanitizers and loaded side by side in one process) under AddressSanitizer
#                and UndefinedBehaviorSanitizer
#   build-fuzz/  libFuzzer, OSTREL_FUZZ_SECONDS (60) for each target, all side by side: the plug-in state and the
#                presets file each read and restored, and each only read (many times faster), and the pictures
# The four builds run side by side; each sanitizer build runs its checks as soon as it is built. Any failure fails
# the script. The plain build's CTest summary is the last thing printed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh

cores=$(nproc)
fuzz_seconds=${OSTREL_FUZZ_SECONDS:-60}
logs=build-logs
rm -rf "$logs"
mkdir -p "$logs"

# The sanitizer builds need only their own programs, not the plug-in formats or the benchmarks.
# Every option is given, so a folder configured otherwise before is set right again.
sanitizer_cmake=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                 -DOSTREL_BUILD_PLUGIN=OFF -DOSTREL_BUILD_BENCHMARKS=OFF -DOSTREL_WARNINGS_AS_ERRORS=ON)

# The test programs each build must have: every test program's cases carry its CTest label. A build whose
# programs lost their tests must fail here, never pass having run nothing.
release_labels=(unit alloc editor host)
tsan_labels=(unit editor)
asan_labels=(unit alloc editor host)

require_tests () {
    local folder=$1 label count
    shift
    for label in "$@"; do
        count=$(ctest --test-dir "$folder" -N -L "^${label}\$" | sed -n 's/^Total Tests: //p')
        if [ "${count:-0}" -eq 0 ]; then
            echo "No '$label' tests found in $folder: that test program was not built or lost its tests."
            return 1
        fi
        echo "$folder: ${count} '$label' tests"
    done
}

# Sanitizer reports end the program with an error, so a report can never pass unnoticed.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
export ASAN_OPTIONS="detect_leaks=1 strict_string_checks=1 detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1"

plain () {
    # Warnings are errors in the project's own sources, under gcc here and clang in the other builds.
    scripts/configure-release.sh -DOSTREL_WARNINGS_AS_ERRORS=ON
    cmake --build build -j "$1"
    require_tests build "${release_labels[@]}"
}

thread_sanitizer () {
    cmake -S . -B build-tsan "${sanitizer_cmake[@]}" -DOSTREL_SANITIZERS=thread -DOSTREL_BUILD_TESTS=ON \
          -DOSTREL_BUILD_FUZZERS=OFF
    cmake --build build-tsan -j "$1" --target ostrel_tests ostrel_editor_tests
    require_tests build-tsan "${tsan_labels[@]}"
    ctest --test-dir build-tsan --output-on-failure --no-tests=error -j "$cores"
}

address_sanitizer () {
    # With the two plug-in binaries, for the real-host checks that load both into one process.
    cmake -S . -B build-asan "${sanitizer_cmake[@]}" -DOSTREL_SANITIZERS=address,undefined -DOSTREL_BUILD_TESTS=ON \
          -DOSTREL_BUILD_FUZZERS=OFF -DOSTREL_BUILD_PLUGIN=ON
    cmake --build build-asan -j "$1" --target ostrel_tests ostrel_alloc_tests ostrel_editor_tests Ostrel_VST3 \
          Ostrel_LV2 ostrel_host_tests
    require_tests build-asan "${asan_labels[@]}"
    ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$cores"
}

fuzzers () {
    cmake -S . -B build-fuzz "${sanitizer_cmake[@]}" -DOSTREL_SANITIZERS=address,undefined \
          -DOSTREL_BUILD_FUZZERS=ON -DOSTREL_BUILD_TESTS=OFF
    local targets=(state presets state_parsing presets_parsing picture)
    cmake --build build-fuzz -j "$1" --target "${targets[@]/#/ostrel_fuzz_}" ostrel_fuzz_seeds

    local pids=() target seeds=build-fuzz/tests/fuzz/ostrel_fuzz_seeds
    for target in "${targets[@]}"; do
        local corpus=build-fuzz/corpus-$target artifacts=build-fuzz/artifacts-$target/ options=()
        rm -rf "$corpus" "$artifacts"
        mkdir -p "$corpus" "$artifacts"
        # Seeds: the frozen fixtures of the two file formats, small states and a small presets file, and small
        # pictures of every kind, all but the fixtures generated here. The targets that only read take inputs of at
        # most 4 KiB, which keeps them at thousands a second; the full targets take the whole fixtures.
        case $target in
            state | state_parsing)
                cp tests/fixtures/state-v1.bin "$corpus/"
                "$seeds" state "$corpus" ;;
            presets | presets_parsing)
                cp tests/fixtures/OstrelPresets-v1.json "$corpus/"
                echo '{"OstrelPresets.json": [{"PresetName": "A", "Attack": 12.5, "Mod_LFO1_Freq": -0.5}, 7]}' \
                    > "$corpus/small.json" ;;
            picture) "$seeds" picture "$corpus" ;;
        esac
        case $target in
            *_parsing) options=(-max_len=4096) ;;
        esac
        # No input may take ten seconds; the whole run is bounded twice, by libFuzzer and from outside. stdin is
        # empty: a state may name /dev/stdin as its picture.
        timeout --kill-after=30 $((fuzz_seconds + 120)) \
            "build-fuzz/tests/fuzz/ostrel_fuzz_$target" "${options[@]}" -max_total_time="$fuzz_seconds" -timeout=10 \
            -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" \
            < /dev/null > "$logs/fuzz-$target.log" 2>&1 &
        pids+=($!)
    done

    local status=0 pid
    for pid in "${pids[@]}"; do
        wait "$pid" || status=1
    done
    for target in "${targets[@]}"; do
        echo "== libFuzzer on the $target: $(grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|Done)' \
            "$logs/fuzz-$target.log" | tr -s ' \n' ' ')"
        [ $status -eq 0 ] || tail -n 80 "$logs/fuzz-$target.log"
    done
    return $status
}

# Runs a step in the background with its output in a log of its own.
pids=()
names=()
start () {
    local name=$1
    shift
    (
        set -euo pipefail
        begin=$SECONDS
        "$@"
        echo "in $((SECONDS - begin)) s"
    ) > "$logs/$name.log" 2>&1 &
    pids+=($!)
    names+=("$name")
}

# Half the cores for the plain build, which has the most to compile, a quarter for each sanitizer build: a little
# more than the machine has, as every build spends some of its time in single-threaded steps.
share=$(( cores / 4 > 1 ? cores / 4 : 1 ))
start plain plain "$(( cores / 2 > 1 ? cores / 2 : 1 ))"
start thread-sanitizer thread_sanitizer "$share"
start address-sanitizer address_sanitizer "$share"
start fuzzers fuzzers "$share"

failed=()
for i in "${!pids[@]}"; do
    if wait "${pids[$i]}"; then
        echo "== ${names[$i]}: passed $(tail -n 1 "$logs/${names[$i]}.log")"
    else
        failed+=("${names[$i]}")
        echo "== ${names[$i]}: FAILED; the end of $logs/${names[$i]}.log:"
        tail -n 120 "$logs/${names[$i]}.log"
    fi
done

for name in thread-sanitizer address-sanitizer; do
    grep -E "tests passed|tests failed" "$logs/$name.log" | sed "s/^/== $name: /" || true
done
grep -E "^== libFuzzer" "$logs/fuzzers.log" || true

if [ ${#failed[@]} -ne 0 ]; then
    echo "Failed: ${failed[*]}"
    exit 1
fi

ctest --test-dir build --output-on-failure --no-tests=error -j "$cores"
