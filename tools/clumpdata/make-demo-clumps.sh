#!/usr/bin/env bash
# Remakes the sample data's clumps with democlumps (built in the given build folder, default
# build-test): data/clumps/demo.clump and its models. The results are committed; the game never
# runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-test}
cmake --build "$build" --target democlumps
"$build/tests/kestrune/democlumps" data
echo "made the sample clumps in data/clumps/"
