#!/usr/bin/env bash
# Remakes the sample data's mesh with samplemesh: data/models/demo.msh and data/models/demo.tga.
# The results are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++20 -Wall -Wextra -Itools/meshdata tools/meshdata/samplemesh.cpp -o "$out/samplemesh"
mkdir -p data/models
"$out/samplemesh" data/models
echo "made data/models/demo.msh and data/models/demo.tga"
