#!/bin/sh
# Regenerates one row of the transition gallery (the mosaic, which draws random
# numbers) and compares it byte for byte with the committed files.
# usage: gallery_test.sh VELLORA_GALLERY SOURCE_DIR BUILD_DIR
set -eu
tool=$1 source=$2 work=$3/gallery-test
rm -rf "$work"
mkdir -p "$work"
"$tool" "$source/resources/samples/sunset.bmp" "$work" --row 9 >/dev/null
for kind in reveal clear; do
  cmp "$work/09-$kind.gif" "$source/docs/gallery/09-$kind.gif"
done
