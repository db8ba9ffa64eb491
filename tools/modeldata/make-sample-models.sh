#!/usr/bin/env bash
# Remakes the sample data's models with samplemodels: data/models/robot.rsm, data/classdef/robot.def,
# data/sphere.rsm, data/models/debris.rsm with debris.mtl, data/models/volumefog/puff.rsm and the
# sample objects' models. samplemodels is built in a build folder of its own, build-data, or in the
# one given (whose tests are on, as in build-test). The results are committed; the game never runs
# this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
build=${1:-build-data}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target samplemodels
"$build/tests/l3render/samplemodels" data
echo "made the sample models in data/"
