#!/usr/bin/env bash
# Builds the benchmarks (Release), runs every one of them and prints the figures that matter: the real-time factors
# of processBlock, the cost of one image-thread pass and the construction time, then the real-time factors of the
# built LV2 bundle in a plain lilv host, then the editor's displays measured in a real window on a private X server
# (the message thread's load, the picture lock per paint, a large drop).
# OSTREL_BENCH_REPETITIONS sets the repetitions (5); further arguments go to the benchmark program, for instance
# --benchmark_filter=ProcessBlock.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/configure-release.sh > /dev/null
cmake --build build -j "$(nproc)" --target ostrel_benchmarks ostrel_lv2_benchmark ostrel_display_measurements

repetitions="${OSTREL_BENCH_REPETITIONS:-5}"
results=build/benchmarks/results.json

# Two cores of their own, as a host gives its audio thread one core while the plug-in's image thread runs on
# another: the figures then move neither with the scheduler moving threads nor with the image thread's passes
# sharing the audio thread's core and caches.
pinned=()
if [ "$(nproc)" -ge 2 ]; then
    pinned=(taskset -c "$(($(nproc) - 2)),$(($(nproc) - 1))")
fi

"${pinned[@]}" build/benchmarks/ostrel_benchmarks \
    --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" \
    --benchmark_out_format=json \
    "$@"

echo
echo "Medians of $repetitions repetitions, CPU time; load average before the summary: $(cut -d' ' -f1-3 /proc/loadavg)"

# One figure per benchmark: the median, or the single run when there is one repetition; the spread is the
# coefficient of variation of the CPU time over the repetitions.
jq -r '
    def ms: if .time_unit == "ns" then .cpu_time / 1e6
            elif .time_unit == "us" then .cpu_time / 1e3
            elif .time_unit == "s" then .cpu_time * 1e3
            else .cpu_time end;
    def fixed(d): (. * pow(10; d) | round) / pow(10; d) | tostring;

    [.benchmarks[] | select(.run_type == "iteration" or .aggregate_name == "median" or .aggregate_name == "cv")]
    | group_by(.run_name)
    | map({ run: (map(select(.aggregate_name != "cv")) | first),
            spread: (map(select(.aggregate_name == "cv")) | first | if . == null then null else .cpu_time end) })
    | map(select(.run != null)) as $all
    | def spread: if .spread == null then "" else "  (+/- \(.spread * 100 | fixed(1)) %)" end;
      def named(prefix): $all[] | select(.run.run_name | startswith(prefix));

      "",
      "processBlock, eight voices, 48 kHz, 512-sample blocks: seconds of audio per second of CPU",
      (named("BM_ProcessBlockEight")
       | "  \(.run.label | . + " " * (12 - length))\(.run.realtime | fixed(1)) x real time, "
         + "\(.run | ms * 1000 | fixed(1)) us per 10.67 ms block, \(.run.voices) voices\(spread)"),
      "",
      "Image thread: one transform pass (about 30 a second)",
      (named("BM_PictureTransformPass")
       | "  \(.run.run_name | sub("BM_PictureTransformPass/"; "") | . + " " * (22 - length))"
         + "\(.run | ms | fixed(3)) ms, \(.run | ms * 30 / 10 | fixed(1)) % of one core\(spread)"),
      "",
      "Construction and destruction of one processor",
      (named("BM_ConstructAndDestroyProcessor") | "  \(.run | ms | fixed(2)) ms\(spread)"),
      "",
      "Other benchmarks",
      ($all[] | select(.run.run_name | test("ProcessBlock|PictureTransformPass|ConstructAndDestroy") | not)
       | "  \(.run.run_name | . + " " * (34 - length))\(.run.cpu_time | fixed(3)) \(.run.time_unit)\(spread)")
' "$results"

echo
echo "The LV2 bundle in a lilv host: eight held notes, 10 s of audio per run, medians of CPU time"
for choice in "--oversample 0" "--oversample 1" "--oversample 2" "--oversample 1 --hifidel"; do
    # shellcheck disable=SC2086 # the choice is two words or three
    echo "  $("${pinned[@]}" build/tests/host/ostrel_lv2_benchmark $choice --repetitions "$repetitions")"
done

echo
build/benchmarks/ostrel_display_measurements
