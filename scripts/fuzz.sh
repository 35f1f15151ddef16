#!/usr/bin/env bash
# Builds the libFuzzer targets of upgrade file inspection with clang (AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer) in their own build directory, makes the seed corpora
# with upgrade-mkfile, and runs each target for a bounded time. Fails on any crash, leak,
# oversized allocation or out-of-memory.
#
#   FUZZ_SECONDS   seconds per target (default 20)
#   FUZZ_BUILD_DIR build directory (default build/fuzz)
#   FUZZ_JOBS      build parallelism (default 2)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
seconds=${FUZZ_SECONDS:-20}
jobs=${FUZZ_JOBS:-2}
targets=(package image analysis)

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DUPGRADE_SANITIZE=address -DUPGRADE_FUZZ=ON -DUPGRADE_WERROR=OFF -DUPGRADE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target upgrade-mkfile "${targets[@]/#/fuzz_}"

# The scratch files of the targets go to memory where there is some.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
dict=$root/tests/fuzz/inspect.dict
status=0
for t in "${targets[@]}"; do
  seeds=$build/fuzz/seeds/$t
  corpus=$build/fuzz/corpus/$t
  artifacts=$build/fuzz/artifacts/$t
  log=$build/fuzz/$t.log
  rm -rf "$seeds"
  mkdir -p "$corpus" "$artifacts"
  "$build/tools/mkfile/upgrade-mkfile" seeds "$t" "$seeds"
  echo "fuzz: $t for ${seconds}s"
  # -malloc_limit_mb stops any single allocation above 32 MiB (inputs are at most 8 KiB; the
  # targets themselves stop on an info block larger than the file).
  if ! "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
      -malloc_limit_mb=32 -rss_limit_mb=1024 -dict="$dict" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$log" 2>&1; then
    echo "fuzz: $t FAILED; see $log and $artifacts" >&2
    tail -n 40 "$log" >&2
    status=1
    continue
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  echo "fuzz: $t ok, $runs executions, corpus $(find "$corpus" -type f | wc -l) files"
done
exit $status
