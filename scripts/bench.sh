#!/usr/bin/env bash
# Runs every benchmark program of the normal build and prints its figures. The ones that
# send run inside the private test segment (tests/e2e/netns.sh), never on real interfaces.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset linux >/dev/null
cmake --build build/linux -j"${JOBS:-2}" >/dev/null
b=build/linux/bench
for prog in "$b"/bench_*; do
  [ -x "$prog" ] || continue
  name=$(basename "$prog")
  printf '\n==== %s\n' "$name"
  case "$name" in
    bench_pacing|bench_memory|bench_outage) tests/e2e/netns.sh "$prog" ;;
    *) "$prog" ;;
  esac
done
