#!/usr/bin/env bash
# Draws the project's icons and images with ImageMagick. The results are committed; run this
# again only to change them.
set -euo pipefail
cd "$(dirname "$0")"

# A card: dark green board, gold edge contacts, one lamp whose colour is given.
card() { # $1 size, $2 lamp colour, $3 output file
  local s=$1 m=$(( $1 / 16 ))
  convert -size "${s}x${s}" xc:none \
    -fill '#1f5f3a' -stroke '#0d2e1b' -strokewidth $(( s / 32 + 1 )) \
    -draw "roundrectangle $m,$(( s / 6 )) $(( s - m - 1 )),$(( s - s / 6 - 1 )) $(( s / 8 )),$(( s / 8 ))" \
    -fill '#d9a400' -stroke none \
    -draw "rectangle $(( s / 5 )),$(( s - s / 6 - s / 10 )) $(( s - s / 5 )),$(( s - s / 6 - 2 ))" \
    -fill "$2" -stroke '#202020' -strokewidth 1 \
    -draw "circle $(( s / 2 )),$(( s / 2 - s / 12 )) $(( s / 2 + s / 6 )),$(( s / 2 - s / 12 ))" \
    "$3"
}

for size in 16 32 48; do
  card $size '#00ff00' app_$size.png
  card $size '#ffdd00' in_$size.png
  card $size '#404040' out_$size.png
done
convert app_16.png app_32.png app_48.png KAVROVirtualBoard.ico
convert in_16.png in_32.png icoI.ico
convert out_16.png out_32.png icoO.ico

# Tray menu images, 16 x 16, on white (bitmaps have no transparency).
convert -size 16x16 xc:white -fill '#3060c0' -stroke '#203060' \
  -draw 'rectangle 1,2 14,11' -fill '#a0d0ff' -stroke none -draw 'rectangle 3,4 12,9' \
  -fill '#203060' -draw 'rectangle 6,12 9,13' -draw 'rectangle 4,14 11,14' BMP3:display.bmp
convert -size 16x16 xc:white -fill '#f0b000' -stroke '#806000' -draw 'circle 7.5,7.5 7.5,0.5' \
  -fill black -stroke none -draw 'rectangle 7,3 8,9' -draw 'rectangle 7,11 8,12' BMP3:tanhao.bmp
convert -size 16x16 xc:white -fill none -stroke '#c02020' -strokewidth 2 \
  -draw 'arc 2,2 13,13 -60,240' -draw 'line 7.5,1 7.5,7' BMP3:shutdown.bmp

# The tester's images.
card 48 '#00ff00' KVIO_48.png
convert app_16.png app_32.png KVIO_48.png KVIO.ico
convert -size 16x16 xc:white -fill none -stroke '#207020' -strokewidth 2 \
  -draw 'arc 2,2 13,13 20,320' -fill '#207020' -stroke none -draw 'polygon 10,0 15,5 9,6' BMP3:update.bmp
convert -size 32x32 xc:none -fill '#404850' -stroke '#202428' \
  -draw 'roundrectangle 2,9 29,22 3,3' -fill '#e0e0e0' -stroke none \
  -draw 'circle 8,15 9,15' -draw 'circle 13,15 14,15' -draw 'circle 18,15 19,15' -draw 'circle 23,15 24,15' \
  -draw 'circle 10,18 11,18' -draw 'circle 15,18 16,18' -draw 'circle 20,18 21,18' Com.png
convert -size 32x32 xc:none -fill '#1f5f3a' -stroke '#0d2e1b' -draw 'rectangle 2,6 29,22' \
  -fill '#d9a400' -stroke none -draw 'rectangle 5,23 8,27' -draw 'rectangle 10,23 26,27' \
  -fill '#101010' -draw 'rectangle 10,10 20,18' PCIe.png

# Desktop-entry icons for the installed programs.
cp app_48.png kavro-virtualboard.png
cp KVIO_48.png kavro-tester.png

rm -f app_*.png in_*.png out_*.png KVIO_48.png
