#!/usr/bin/env bash
# Renews Vantrel.ico (16, 32, 48 and 256 px, 32-bit with alpha) from
# vantrel.mvg and vantrel-16.mvg. The .ico is kept in the repository, so a
# build needs neither tool; run this after changing a drawing.
# Needs: imagemagick icoutils
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# No time stamps in the PNGs, so that the same drawing gives the same bytes.
flags=(-depth 8 -strip -define png:exclude-chunks=date,time)
convert -background none "mvg:$here/vantrel.mvg" "${flags[@]}" "PNG32:$scratch/256.png"
for size in 48 32; do
  convert "$scratch/256.png" -filter Lanczos -resize "${size}x$size" "${flags[@]}" "PNG32:$scratch/$size.png"
done
convert -background none "mvg:$here/vantrel-16.mvg" "${flags[@]}" "PNG32:$scratch/16.png"
# The 256 px image is stored as PNG, as Windows Vista and later read it.
icotool -c -o "$here/Vantrel.ico" "$scratch/16.png" "$scratch/32.png" "$scratch/48.png" -r "$scratch/256.png"
icotool -l "$here/Vantrel.ico"
