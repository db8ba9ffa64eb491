#!/usr/bin/env bash
# Builds the fuzz targets with clang (installed when missing, with the build's other packages),
# runs each for a bounded time, JOBS of them at once, and prints each one's inputs a second: as
# libFuzzer counts them (by the clock) and per second of the processor the target had, which does
# not fall when other work shares the machine.
#   tests/fuzz/run.sh [seconds per target, default 60] [target ...]
#   JOBS=n   targets run at once and build jobs (default: the cores)
# Corpora grow in build-fuzz/corpus/<target>; a failing input is kept as build-fuzz/artifacts/<target>-*
# and its target's output in build-fuzz/logs/<target>.txt.
set -e
seconds=${1:-60}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
extra_packages="clang"
. "$root/tools/setup.sh"
jobs=${JOBS:-$jobs}
if ! command -v clang++ >/dev/null; then
  echo "The fuzz targets need clang (Debian package clang)." >&2
  exit 1
fi

targets=${*:-"blockfile ini pack inflate textdatabase inputscript fourcc vbibconfig shaderasm stripify instancescript savedstate tga xim wavfile animation dshowwav mesh material overlaypage effects precachelist model classdef clumpfile lightmaps volumefog cloudlevel"}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DVELDRANE_FUZZ=ON -DVELDRANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$build" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done) -j"$jobs"

mkdir -p "$build/logs" "$build/artifacts"
# Allocation and free stacks of four frames: unwinding thirty at every allocation costs the
# allocating targets a sixth of their inputs. A finding run again alone gets the full stacks.
export ASAN_OPTIONS="malloc_context_size=4${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
# One target: its corpus seeded from seeds/<target>, its result in logs/<target>.txt.
fuzz_one() {
  corpus="$build/corpus/$1"
  mkdir -p "$corpus"
  cp "$root/tests/fuzz/seeds/$1/"* "$corpus/" 2>/dev/null || true
  # Inputs no longer than the files these readers see: a list or definitions file of a kilobyte
  # holds every kind of line many times over, and longer ones only repeat reading that is dear
  # per line (models, materials and textures looked for and loaded, clumps' meshes made); a saved
  # state's blocks are each parsed on from where the scan found them, one left open to the end.
  local options=()
  case "$1" in
    savedstate) options+=(-max_len=128) ;;
    blockfile) options+=(-max_len=512) ;;
    clumpfile) options+=(-max_len=768) ;;
    instancescript|precachelist|lightmaps|volumefog|effects) options+=(-max_len=1024) ;;
  esac
  # Where an input's cost runs from nothing to many times that (an effects file's particle counts
  # and effects that start others, a precache list's definitions files read again, a clump file's
  # models loaded or not), the scheduler gives an input less of its time the longer it runs; else
  # it drifts to the slowest few, which hold the rarest features, and they take most of it.
  case "$1" in
    effects|precachelist|clumpfile) options+=(-entropic_scale_per_exec_time=1) ;;
  esac
  # Most clump inputs name a model file that is not there, which the model loader says in a
  # message box on stderr: the target's stderr goes, libFuzzer's output and findings stay.
  case "$1" in
    clumpfile) options+=(-close_fd_mask=2) ;;
  esac
  local TIMEFORMAT='%U %S'
  if { time "$build/tests/fuzz/fuzz_$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
    "${options[@]}" -artifact_prefix="$build/artifacts/$1-" "$corpus" </dev/null >"$build/logs/$1.txt" 2>&1; } 2>"$build/logs/$1.cpu"; then
    echo clean >>"$build/logs/$1.txt"
  fi
}

echo "== $(echo $targets | wc -w) targets for ${seconds}s each, $jobs at a time"
running=0
for target in $targets; do
  fuzz_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

status=0
printf '%-16s %12s %10s %12s  %s\n' target inputs inputs/s "per CPU s" result
for target in $targets; do
  log="$build/logs/$target.txt"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  perCpu=$(awk -v runs="${runs:-0}" '{ cpu = $1 + $2; printf "%d", (cpu > 0 ? runs / cpu : 0) }' "$build/logs/$target.cpu" 2>/dev/null)
  result=clean
  if [ "$(tail -1 "$log")" != clean ]; then
    result="FAILED: see $log"
    status=1
  fi
  printf '%-16s %12s %10s %12s  %s\n' "$target" "${runs:-0}" "${rate:-0}" "${perCpu:-0}" "$result"
done
exit $status
