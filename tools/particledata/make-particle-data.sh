#!/usr/bin/env bash
# Remakes the sample data of the particle effects with particledata: data/particles/*. The results
# are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++20 -Wall -Wextra -Itools/particledata -Itools/lightdata tools/particledata/particledata.cpp -o "$out/particledata"
"$out/particledata" data
echo "made the particle data in data/"
