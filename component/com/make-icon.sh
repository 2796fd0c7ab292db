#!/usr/bin/env bash
# Draws the component's icon (a server front with a green status light) and
# writes orbenix.ico with 32x32 and 16x16 images in 16 colours.
# usage: make-icon.sh OUTPUT.ico   (needs ImageMagick's convert)
set -euo pipefail
out=${1:?usage: make-icon.sh OUTPUT.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

draw() {  # size, scale
  local s=$1 k=$2
  /usr/bin/convert -size "${s}x${s}" xc:none \
    -fill '#1f3f7f' -stroke '#000000' -strokewidth 1 \
    -draw "roundrectangle $((2*k)),$((3*k)) $((13*k)),$((7*k)) 1,1" \
    -draw "roundrectangle $((2*k)),$((8*k)) $((13*k)),$((12*k)) 1,1" \
    -stroke none -fill '#00c000' -draw "rectangle $((10*k)),$((4*k)) $((11*k)),$((5*k))" \
    -fill '#c0c0c0' -draw "rectangle $((4*k)),$((10*k)) $((8*k)),$((10*k))" \
    -fill '#00c000' -draw "rectangle $((10*k)),$((9*k)) $((11*k)),$((10*k))" \
    -fill '#c0c0c0' -draw "rectangle $((4*k)),$((5*k)) $((8*k)),$((5*k))" \
    "PNG32:$work/icon$s.png"
}
draw 16 1
draw 32 2
/usr/bin/convert "$work/icon32.png" "$work/icon16.png" -colors 16 -depth 4 "$out"
