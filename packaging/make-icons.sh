#!/bin/sh
# Renders the desktop's 48 and 256 pixel icons from the program's own SVG. The
# 16, 32, 64 and 128 pixel icons are the window's own (assets/), and the SVG
# itself is the scalable one. Needs ImageMagick; the results are committed, so builds do not.
set -e
cd "$(dirname "$0")"
for s in 48 256; do
  convert -background none -density 1200 ../assets/vellumo.svg -resize "${s}x${s}" \
    "PNG32:icons/vellumo-$s.png"
done
