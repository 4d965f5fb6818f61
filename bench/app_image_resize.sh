#!/usr/bin/env bash
# Times the conversion tool's batch scale tool (its scale button over a
# folder, on the null host) against mogrify -resize on copies of the same
# JPEG photos, in one run, and prints the ratio of the mean times.
#   bench/app_image_resize.sh [count] [width]x[height] [new width]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
COUNT="${1:-40}"
SIZE="${2:-2000x1500}"
WIDTH="${3:-800}"
BUILD="$ROOT/build/bench"

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPL_BENCH=ON -DVPL_TESTS=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$BUILD" --target bench_app_image_resize --parallel "${VPL_JOBS:-3}" >/dev/null

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/src"
for i in $(seq -w 1 "$COUNT"); do
    /usr/bin/convert -size "$SIZE" "plasma:fractal" -blur 0x2 -quality 90 "$WORK/src/img$i.jpg"
done
echo "$COUNT JPEG photos of $SIZE scaled to the width $WIDTH"

# Each run scales fresh copies: the work replaces the files it reads.
hyperfine --warmup 1 --runs 8 --export-json "$WORK/times.json" \
    --prepare "rm -rf $WORK/a $WORK/b && cp -r $WORK/src $WORK/a && cp -r $WORK/src $WORK/b" \
    -n velmo "$BUILD/bench/bench_app_image_resize $WORK/a $WIDTH" \
    -n mogrify "mogrify -resize ${WIDTH}x $WORK/b/*.jpg"

python3 - "$WORK/times.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"velmo {r['velmo']*1000:.1f} ms, mogrify {r['mogrify']*1000:.1f} ms, "
      f"ratio velmo/mogrify {r['velmo']/r['mogrify']:.3f}")
PY
