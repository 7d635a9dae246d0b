#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the icon's PNG sizes from quendle.svg (needs rsvg-convert from
# librsvg2-bin). The PNGs are kept in the tree so that building needs no renderer.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" quendle.svg -o "quendle-$size.png"
done
