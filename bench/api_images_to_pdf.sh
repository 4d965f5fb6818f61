#!/usr/bin/env bash
# Times the images-to-PDF build of the library against img2pdf on the same
# folder of JPEG files, in one run, and prints the ratio of the mean times.
#   bench/api_images_to_pdf.sh [count] [width]x[height]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
COUNT="${1:-40}"
SIZE="${2:-2000x1500}"
BUILD="$ROOT/build/bench"

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPL_BENCH=ON -DVPL_TESTS=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$BUILD" --target bench_api_images_to_pdf >/dev/null

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/in"
for i in $(seq -w 1 "$COUNT"); do
    /usr/bin/convert -size "$SIZE" "plasma:fractal" -quality 85 "$WORK/in/img$i.jpg"
done
echo "$COUNT JPEG files of $SIZE, $(du -sh "$WORK/in" | cut -f1)"

hyperfine --warmup 2 --runs 10 --export-json "$WORK/times.json" \
    -n velmo "$BUILD/bench/bench_api_images_to_pdf $WORK/in $WORK/velmo.pdf" \
    -n img2pdf "img2pdf $WORK/in/*.jpg -o $WORK/img2pdf.pdf"

python3 - "$WORK/times.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"velmo {r['velmo']*1000:.1f} ms, img2pdf {r['img2pdf']*1000:.1f} ms, "
      f"ratio velmo/img2pdf {r['velmo']/r['img2pdf']:.3f}")
PY
ls -l "$WORK/velmo.pdf" "$WORK/img2pdf.pdf" | awk '{print $5, $9}'
