#!/bin/sh
# Draws the window's button pictures with ImageMagick (Debian package
# imagemagick): amber (#FFD766, the colour of every touchable control) on a
# transparent ground, sized for a finger on the 1024 x 768 panel.
# Run from anywhere; writes into the resources folder beside this script.
set -eu
out=$(cd "$(dirname "$0")/.." && pwd)
amber='#FFD766'
grey='#5A5858'

# Range up / down: a solid triangle in a 48 x 48 square (the buttons of a
# power row are 55 pixels apart).
convert -size 48x48 xc:none -fill "$amber" -draw 'polygon 24,6 44,40 4,40' "$out/scaleUp.png"
convert -size 48x48 xc:none -fill "$amber" -draw 'polygon 4,8 44,8 24,42' "$out/scaleDown.png"

# Automatic ranging: "A" on an amber disc when on, amber "A" in a grey ring
# when off.
convert -size 48x48 xc:none -fill "$amber" -draw 'circle 24,24 24,2' \
  -font DejaVu-Sans-Bold -pointsize 30 -fill black -gravity center -annotate +0+1 'A' "$out/scaleAutoOn.png"
convert -size 48x48 xc:none -fill none -stroke "$grey" -strokewidth 4 -draw 'circle 24,24 24,4' \
  -stroke none -font DejaVu-Sans-Bold -pointsize 30 -fill "$amber" -gravity center -annotate +0+1 'A' \
  "$out/scaleAutoOff.png"

# The smaller up / down arrows of the compact pulse views.
convert -size 36x36 xc:none -fill "$amber" -draw 'polygon 18,4 33,30 3,30' "$out/settingsUp.png"
convert -size 36x36 xc:none -fill "$amber" -draw 'polygon 3,6 33,6 18,32' "$out/settingsDown.png"

# The settings button: three bars (the menu).
convert -size 48x48 xc:none -fill "$amber" \
  -draw 'roundrectangle 4,8 44,14 3,3' -draw 'roundrectangle 4,21 44,27 3,3' -draw 'roundrectangle 4,34 44,40 3,3' \
  "$out/hamburger.png"
