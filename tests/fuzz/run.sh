#!/bin/sh
# Builds the fuzz targets with clang and runs each for a bounded time.
#   tests/fuzz/run.sh [seconds per target, default 60]
set -e
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELDRANE_FUZZ=ON -DVELDRANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$build" --target fuzz_blockfile fuzz_ini fuzz_pack fuzz_inflate fuzz_textdatabase fuzz_inputscript fuzz_fourcc fuzz_vbibconfig fuzz_animation -j"$(nproc)"

for target in blockfile ini pack inflate textdatabase inputscript fourcc vbibconfig animation; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  cp "$root/tests/fuzz/seeds/$target/"* "$corpus/" 2>/dev/null || true
  echo "== fuzz_$target for ${seconds}s"
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$build/" "$corpus" </dev/null
done
