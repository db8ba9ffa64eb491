#!/usr/bin/env bash
# Remakes the sample data's sounds with sounddata: data/sounds/bounce.wav and splash.wav. The
# results are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/setup.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++20 -Wall -Wextra tools/sounddata/sounddata.cpp -o "$out/sounddata"
"$out/sounddata" data
echo "made the sample sounds in data/"
