#!/bin/sh
# Draws the pulse view's pictures with ImageMagick (Debian package
# imagemagick), in the style of draw_pictures.sh: amber (#FFD766) on a
# transparent ground. The range arrows of the pulse views (settingsUp.png,
# settingsDown.png) come from draw_pictures.sh.
# Run from anywhere; writes into the resources folder beside this script.
set -eu
out=$(cd "$(dirname "$0")/.." && pwd)
amber='#FFD766'

# The configuration button: a gear of eight teeth around a ring, 40 x 40.
teeth=''
for angle in 0 45 90 135 180 225 270 315; do
  teeth="$teeth translate 20,20 rotate $angle roundrectangle -4,-19 4,-10 1,1 rotate -$angle translate -20,-20"
done
convert -size 40x40 xc:none -fill "$amber" -draw "$teeth" -draw 'circle 20,20 20,7' \
  -fill none -stroke black -strokewidth 0 -draw 'fill black circle 20,20 20,14' \
  -channel A -fx 'p{i,j}.r<0.1 && p{i,j}.g<0.1 ? 0 : a' +channel "$out/gear.png"
