#!/bin/sh
# Renders the 16-colour PNG icons (and the Windows .ico) from their SVG sources.
# Needs ImageMagick; the results are committed, so builds do not.
set -e
cd "$(dirname "$0")"
for n in vellumo about; do
  for s in 16 32; do
    convert -background none -density 300 "$n.svg" -resize "${s}x${s}" -colors 16 "PNG8:$n-$s.png"
  done
done
convert vellumo-16.png vellumo-32.png vellumo.ico
