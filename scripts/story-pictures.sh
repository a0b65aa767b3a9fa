#!/usr/bin/env bash
# The README's pictures: duodesk-sim runs docs/story.scn and draws the layout at each of its dumps; each
# drawing is kept as docs/images/story-<n>-<name>.svg and rendered to the PNG beside it by rsvg-convert
# (Debian's librsvg2-bin).
#
#   scripts/story-pictures.sh           draws them again and writes them to docs/images/
#   scripts/story-pictures.sh --check   draws them in a scratch folder and compares them with docs/images/
#
# The check compares the SVGs byte for byte: they are the simulator's own text, the same on every machine,
# whereas a PNG's bytes also depend on the versions of librsvg, cairo, FreeType and the fonts installed.
# A PNG is only ever written from the SVG beside it, so the check also asks that each PNG is there and
# has its SVG's size. It needs the simulator build (cmake --build --preset sim --target duodesk-sim) and
# prints "N passed, N failed", one test per picture.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The dumps of docs/story.scn, in order.
names=(one-screen extended mirror rotated-90)
sim=build/sim/duodesk-sim
images=docs/images

check=0
[[ "${1:-}" == --check ]] && check=1 && shift
if (($#)); then
    echo "usage: $0 [--check]" >&2
    exit 2
fi

scratch=$(mktemp -d -t duodesk-story.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
"$sim" --layout-svg "$scratch" docs/story.scn >"$scratch/run.log"
mapfile -t drawn < <(find "$scratch" -name 'dump-*.svg' -printf '%f\n' | sort -t- -k2,2n)
if ((${#drawn[@]} != ${#names[@]})); then
    echo "story-pictures: docs/story.scn has ${#drawn[@]} dumps, this script names ${#names[@]}" >&2
    exit 1
fi

# The width and height an SVG asks for, and those a PNG's header holds.
svg_size() { sed -n '1s/.* width="\([0-9]*\)" height="\([0-9]*\)".*/\1 \2/p' "$1"; }
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }

passed=0
failed=0
for i in "${!names[@]}"; do
    picture="story-$((i + 1))-${names[i]}"
    mv "$scratch/${drawn[i]}" "$scratch/$picture.svg"
    if ((check)); then
        if ! cmp -s "$scratch/$picture.svg" "$images/$picture.svg"; then
            echo "FAIL $picture.svg differs from what docs/story.scn draws now: run scripts/story-pictures.sh"
            diff "$images/$picture.svg" "$scratch/$picture.svg" | head -n 20 || true
            failed=$((failed + 1))
        elif [[ ! -f "$images/$picture.png" || "$(png_size "$images/$picture.png")" != "$(svg_size "$images/$picture.svg")" ]]; then
            echo "FAIL $picture.png is missing or was not rendered from $picture.svg: run scripts/story-pictures.sh"
            failed=$((failed + 1))
        else
            echo "ok   $picture"
            passed=$((passed + 1))
        fi
    else
        cp "$scratch/$picture.svg" "$images/$picture.svg"
        rsvg-convert "$images/$picture.svg" -o "$images/$picture.png"
        echo "wrote $images/$picture.svg and .png"
    fi
done
((check)) || exit 0
echo "$passed passed, $failed failed"
((failed == 0))
