#!/usr/bin/env bash
# Remakes the sample data's bitmap fonts from DejaVu (Debian's fonts-dejavu-core) with fontbake:
# data/font.tga (the debug font) and data/overlay/hudfont.tga with its page file hudfont.txt.
# The results are committed; the game never runs this.
set -euo pipefail
cd "$(dirname "$0")/../.."
extra_packages="libfreetype-dev fonts-dejavu-core pkg-config" . tools/setup.sh
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -O2 -std=c++20 -Wall -Wextra tools/fontbake/fontbake.cpp -o "$out/fontbake" $(pkg-config --cflags --libs freetype2)
fonts=/usr/share/fonts/truetype/dejavu
"$out/fontbake" grid "$fonts/DejaVuSansMono-Bold.ttf" data/font.tga
mkdir -p data/overlay
"$out/fontbake" page "$fonts/DejaVuSans-Bold.ttf" data/overlay/hudfont.tga data/overlay/hudfont.txt 24 256
echo "made data/font.tga, data/overlay/hudfont.tga and data/overlay/hudfont.txt"
