#!/usr/bin/env bash
# The conversion window's images-to-PDF page (list the folder, then build,
# on the null host) against img2pdf on the same JPEG files, timed in one
# hyperfine run; prints both means and their ratio.
#   bench/app_images_to_pdf_tool.sh [files] [width]x[height]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
FILES="${1:-40}"
GEOMETRY="${2:-2000x1500}"
OUT="$ROOT/build/bench"
TOOL="$OUT/bench/bench_app_images_to_pdf_tool"

cmake -S "$ROOT" -B "$OUT" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPL_SANITIZE=OFF -DVPL_TESTS=OFF \
    -DVPL_BENCH=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
ninja -C "$OUT" -j3 bench_app_images_to_pdf_tool >/dev/null

TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$TMP/jpegs"
i=0
while [ "$i" -lt "$FILES" ]; do
    i=$((i + 1))
    convert -size "$GEOMETRY" plasma:fractal -quality 85 "$TMP/jpegs/$(printf 'p%03d' "$i").jpg"
done
"$TOOL" "$TMP/jpegs" "$TMP/check.pdf"
echo "$FILES JPEG files of $GEOMETRY ($(du -sh "$TMP/jpegs" | cut -f1))"

hyperfine --warmup 2 --runs 10 --export-json "$TMP/runs.json" \
    -n window "$TOOL $TMP/jpegs $TMP/window.pdf" \
    -n img2pdf "img2pdf $TMP/jpegs/*.jpg -o $TMP/img2pdf.pdf"

python3 - "$TMP/runs.json" <<'PY'
import json, sys
means = {r["command"]: r["mean"] for r in json.load(open(sys.argv[1]))["results"]}
w, p = means["window"], means["img2pdf"]
print(f"window build {w * 1e3:.1f} ms, img2pdf {p * 1e3:.1f} ms, ratio window/img2pdf {w / p:.3f}")
PY
