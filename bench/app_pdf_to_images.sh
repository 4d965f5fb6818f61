#!/usr/bin/env bash
# Times the conversion tool's PDF-to-images page (every page as JPEG at
# 72 dpi, through its convert handler on the null host) against
# pdftoppm -r 72 -jpeg on the same many-page PDF, in one run, and prints the
# ratio of the mean times.
#   [RUNS=n] bench/app_pdf_to_images.sh [pdf]
# The default PDF is the 14-page paper pdfjs/tracemonkey.pdf of the corpus
# (../shared/corpus or $CORPUS_DIR), read in place.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CORPUS="${CORPUS_DIR:-$ROOT/../shared/corpus}"
PDF="${1:-$CORPUS/pdfjs/tracemonkey.pdf}"
BUILD="$ROOT/build/bench"
[ -f "$PDF" ] || { echo "no PDF at $PDF (give one, or set CORPUS_DIR)" >&2; exit 2; }
for t in pdftoppm pdfinfo hyperfine; do
    command -v "$t" >/dev/null || { echo "$t missing (tools/deps)" >&2; exit 2; }
done

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPL_SANITIZE=OFF \
    -DVPL_BENCH=ON -DVPL_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$BUILD" --parallel 3 --target bench_app_pdf_to_images >/dev/null

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
PAGES=$(pdfinfo "$PDF" | awk '/^Pages:/ { print $2 }')
echo "$PDF: $PAGES pages as JPEG at 72 dpi"

# One run of each first: both must write a file per page.
mkdir "$WORK/b"
"$BUILD/bench/bench_app_pdf_to_images" "$PDF" "$WORK/a"
pdftoppm -r 72 -jpeg "$PDF" "$WORK/b/p"
echo "files written: velmo $(ls "$WORK/a" | wc -l), pdftoppm $(ls "$WORK/b" | wc -l)"

hyperfine --warmup 1 --runs "${RUNS:-8}" --export-json "$WORK/times.json" \
    --prepare "rm -rf $WORK/a $WORK/b && mkdir $WORK/b" \
    -n velmo "$BUILD/bench/bench_app_pdf_to_images '$PDF' $WORK/a" \
    -n pdftoppm "pdftoppm -r 72 -jpeg '$PDF' $WORK/b/p"

python3 - "$WORK/times.json" <<'PY'
import json, sys
r = {x["command"]: x["mean"] for x in json.load(open(sys.argv[1]))["results"]}
print(f"velmo {r['velmo']*1000:.1f} ms, pdftoppm {r['pdftoppm']*1000:.1f} ms, "
      f"ratio velmo/pdftoppm {r['velmo']/r['pdftoppm']:.3f}")
PY
