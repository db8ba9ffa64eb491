#!/usr/bin/env bash
# Remakes the sample data's models with samplemodels: data/models/robot.rsm, data/classdef/robot.def,
# data/sphere.rsm, data/models/debris.rsm with debris.mtl, data/models/volumefog/puff.rsm and the
# sample objects' models. samplemodels is built in build-data, or in the build folder given (one with
# the tests on, such as build-test); a new folder is configured first. The results are committed;
# the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
build=${1:-build-data}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DVELDRANE_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target samplemodels
"$build/tests/l3render/samplemodels" data
echo "made the sample models in data/"
