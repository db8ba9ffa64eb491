#!/usr/bin/env bash
# Remakes the sample data of the light maps, the vehicle shadows, the volume fog and the cloud layer
# with lightdata: data/lights/*, data/models/shadow/* and data/models/volumefog/* but the puff model
# (tools/modeldata makes that). The results are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++20 -Wall -Wextra -Itools/lightdata tools/lightdata/lightdata.cpp -o "$out/lightdata"
"$out/lightdata" data
echo "made the light, shadow, volume-fog and cloud-layer data in data/"
