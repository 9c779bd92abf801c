#!/usr/bin/env bash
# Benchmark: the converter against `cat` on a random and a text-like 4 MiB
# image. Builds in Release in build-bench/, makes the inputs there, prints
# the figures. usage: bench/run.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DDADIVUROREZUD_TESTS=OFF >/dev/null
cmake --build build-bench --parallel >/dev/null
mkdir -p build-bench/data
build-bench/bench/bench_images build-bench/data
build-bench/bench/bench "$PWD/build-bench/dadivurorezud" build-bench/data random.gba text.gba -r "${1:-31}"
echo
echo "decoder alone, in process:"
for image in random text; do
  build-bench/bench/decode_perf build-bench/data/$image.gba build-bench/data/velquor.tbl
done
