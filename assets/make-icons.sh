#!/bin/sh
# Renders the 16-colour PNG icons (and the Windows .ico) from their SVG sources: 16 and 32
# pixels, and 64 and 128 for the same pictures at 200 %.
# Needs ImageMagick; the results are committed, so builds do not.
set -e
cd "$(dirname "$0")"
for n in vellumo about; do
  for s in 16 32; do
    convert -background none -density 300 "$n.svg" -resize "${s}x${s}" -colors 16 "PNG8:$n-$s.png"
  done
  # Rendered finer and not dithered, so that edges stay crisp at this size.
  for s in 64 128; do
    convert -background none -density 1200 "$n.svg" -resize "${s}x${s}" +dither -colors 16 \
      "PNG8:$n-$s.png"
  done
done
convert vellumo-16.png vellumo-32.png vellumo.ico
