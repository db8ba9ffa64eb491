#!/usr/bin/env bash
# Remakes the sample data's models with samplemodels (built in the given build folder, default
# build-test): data/models/robot.rsm, data/classdef/robot.def, data/sphere.rsm,
# data/models/debris.rsm with debris.mtl, data/models/volumefog/puff.rsm and the sample objects'
# models. The results are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-test}
cmake --build "$build" --target samplemodels
"$build/tests/l3render/samplemodels" data
echo "made the sample models in data/"
