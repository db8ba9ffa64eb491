#!/bin/sh
# Builds the fuzz targets with clang (installed when missing, with the build's other packages)
# and runs each for a bounded time.
#   tests/fuzz/run.sh [seconds per target, default 60]
set -e
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
extra_packages="clang"
. "$root/tools/setup.sh"
if ! command -v clang++ >/dev/null; then
  echo "The fuzz targets need clang (Debian package clang)." >&2
  exit 1
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELDRANE_FUZZ=ON -DVELDRANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined" >/dev/null
targets="blockfile ini pack inflate textdatabase inputscript fourcc vbibconfig shaderasm stripify instancescript savedstate tga xim wavfile animation dshowwav mesh material overlaypage effects precachelist model classdef clumpfile lightmaps volumefog cloudlevel"
cmake --build "$build" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done) -j"$jobs"

for target in $targets; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  cp "$root/tests/fuzz/seeds/$target/"* "$corpus/" 2>/dev/null || true
  echo "== fuzz_$target for ${seconds}s"
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$build/" "$corpus" </dev/null
done
