#!/usr/bin/env bash
# Remakes the sample data's clumps with democlumps: data/clumps/demo.clump and grove.clump with
# their models and materials. The results are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++20 -Wall -Wextra -Itools/clumpdata -Itools/modeldata -Itools/meshdata tools/clumpdata/democlumps.cpp \
  -o "$out/democlumps"
"$out/democlumps" data
echo "made the sample clumps in data/"
