#!/usr/bin/env bash
# Times our page rendering against `mutool draw` on the same pages of the same
# PDF files, one process per file for both, and prints the ratio of the total
# times. Files are the corpus (../shared/corpus, or $CORPUS_DIR) unless given.
#   bench/render_pages.sh [--pages N] [--dpi D] [--limit K] [--timeout S] [--min-text C]
#                         [--text C] [--images] [--scan] [file|folder ...]
#     --pages N    pages 1..N of every file (default 3; fewer when the file has fewer)
#     --dpi D      resolution of both renders (default 72)
#     --limit K    at most K files (default all)
#     --timeout S  seconds per file and renderer (default 60); a file that runs
#                  out of time in either is left out of both totals and listed
#     --min-text C only files whose rendered pages hold at least C characters
#                  of text by pdftotext (text-heavy pages)
#     --text C     text-heavy pages as the text-render test picks them: of
#                  pages 1-3, those without annotations whose content shows
#                  text and holds none of BI Do sh gs scn SCN (the engine's
#                  scanner, bench_render_pages --page-kinds), in files where
#                  these pages hold at least C characters by pdftotext; only
#                  these pages are drawn, by both
#     --images     only files whose rendered pages carry images by pdfimages -list,
#                  none of them fax, JBIG2 or JPEG 2000
#     --scan       add a generated 300-dpi A4 scan: a JPEG page and a Flate page
#     --features   only files that hold shadings, patterns, soft-mask dictionaries
#                  or annotation appearances (by their uncompressed objects)
#
# Ours is bench_render_pages, built here in Release:
#   bench_render_pages <file.pdf> <first page> <last page> <dpi> <output folder>
#   bench_render_pages <file.pdf> <page,page,...> <dpi> <output folder>
# writes <output folder>/p<page, 4 digits>.png for each page and exits 0 when
# every page rendered cleanly, 1 when a page reported an error (still timed),
# 2 when the file does not load. $VPL_RENDER_PAGES_EXE runs another build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/bench"
PAGES=3
DPI=72
LIMIT=0
TIMEOUT=60
MIN_TEXT=0
TEXT_PAGES=0
IMAGES=0
SCAN=0
FEATURES=0
INPUTS=()
while [ $# -gt 0 ]; do
    case "$1" in
        --pages) PAGES="$2"; shift 2 ;;
        --dpi) DPI="$2"; shift 2 ;;
        --limit) LIMIT="$2"; shift 2 ;;
        --timeout) TIMEOUT="$2"; shift 2 ;;
        --min-text) MIN_TEXT="$2"; shift 2 ;;
        --images) IMAGES=1; shift ;;
        --scan) SCAN=1; shift ;;
        --features) FEATURES=1; shift ;;
        --text) TEXT_PAGES="$2"; shift 2 ;;
        -h|--help) sed -n '2,34p' "$0"; exit 0 ;;
        *) INPUTS+=("$1"); shift ;;
    esac
done
if [ ${#INPUTS[@]} -eq 0 ]; then
    INPUTS=("${CORPUS_DIR:-$ROOT/../shared/corpus}")
fi
for tool in mutool qpdf pdftotext pdfimages; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (tools/deps)" >&2; exit 1; }
done

# $VPL_RENDER_PAGES_EXE names another build of ours (same arguments).
OURS="${VPL_RENDER_PAGES_EXE:-}"
if [ -z "$OURS" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPL_BENCH=ON \
        -DVPL_TESTS=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
    if ! cmake --build "$BUILD" --target bench_render_pages >/dev/null 2>&1; then
        echo "bench_render_pages does not build (bench/render_pages.cpp missing?)" >&2
        exit 1
    fi
    OURS="$BUILD/bench/bench_render_pages"
fi

FILES=()
for input in "${INPUTS[@]}"; do
    if [ -d "$input" ]; then
        while IFS= read -r -d '' f; do FILES+=("$f"); done \
            < <(find "$input" -type f -iname '*.pdf' -print0 | sort -z)
    else
        FILES+=("$input")
    fi
done
if [ "$LIMIT" -gt 0 ] && [ ${#FILES[@]} -gt "$LIMIT" ]; then
    FILES=("${FILES[@]:0:$LIMIT}")
fi

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

# A scanned A4 page at 300 dpi (2480 x 3508 RGB samples of smooth shading
# with fine detail), once as JPEG and once as Flate data, one page each.
if [ "$SCAN" -eq 1 ]; then
    command -v cjpeg >/dev/null || { echo "cjpeg is not installed (tools/deps)" >&2; exit 1; }
    python3 - "$WORK/scan.ppm" "$WORK/scan.raw" <<'PY'
import sys
w, h = 2480, 3508
rows = bytearray()
for y in range(h):
    row = bytearray(3 * w)
    for x in range(w):
        v = (x * 7 + y * 3) & 255
        row[3 * x] = 200 + (v >> 3) if (x // 40 + y // 60) % 2 else v
        row[3 * x + 1] = (y * 255 // h)
        row[3 * x + 2] = 255 - ((x ^ y) & 63)
    rows += row
open(sys.argv[2], 'wb').write(rows)
open(sys.argv[1], 'wb').write(b'P6\n%d %d\n255\n' % (w, h) + rows)
PY
    cjpeg -quality 85 "$WORK/scan.ppm" > "$WORK/scan.jpg"
    python3 - "$WORK/scan.jpg" "$WORK/scan.raw" "$WORK/scan.pdf" <<'PY'
import sys, zlib
jpg = open(sys.argv[1], 'rb').read()
flate = zlib.compress(open(sys.argv[2], 'rb').read(), 6)
objs = [b'<< /Type /Catalog /Pages 2 0 R >>',
        b'<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>']
def page(content, image):
    return (b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %d 0 R '
            b'/Resources << /XObject << /Im0 %d 0 R >> >> >>' % (content, image))
draw = b'q 595 0 0 842 0 0 cm /Im0 Do Q'
def stream(d, data):
    return d[:-2] + b' /Length %d >>\nstream\n' % len(data) + data + b'\nendstream'
img = b'<< /Type /XObject /Subtype /Image /Width 2480 /Height 3508 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /%s >>'
objs += [page(4, 7), stream(b'<< >>', draw), page(6, 8), stream(b'<< >>', draw),
         stream(img % b'DCTDecode', jpg), stream(img % b'FlateDecode', flate)]
out = bytearray(b'%PDF-1.5\n')
offs = []
for i, o in enumerate(objs):
    offs.append(len(out))
    out += b'%d 0 obj\n' % (i + 1) + o + b'\nendobj\n'
x = len(out)
out += b'xref\n0 %d\n0000000000 65535 f \n' % (len(objs) + 1)
for o in offs:
    out += b'%010d 00000 n \n' % o
out += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (len(objs) + 1, x)
open(sys.argv[3], 'wb').write(out)
PY
    FILES+=("$WORK/scan.pdf")
fi

now() { date +%s.%N; }
# Runs a command with the time limit; prints "<seconds> <exit status>".
timed() {
    local t0 t1 rc
    t0=$(now)
    set +e
    timeout --kill-after=5 "$TIMEOUT" "$@" >/dev/null 2>&1
    rc=$?
    set -e
    t1=$(now)
    echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }') $rc"
}

ours_total=0
mutool_total=0
files=0
pages=0
skipped=0
ours_errors=0
for f in "${FILES[@]}"; do
    n=$(qpdf --show-npages "$f" 2>/dev/null || true)
    if ! [[ "$n" =~ ^[0-9]+$ ]] || [ "$n" -lt 1 ]; then
        skipped=$((skipped + 1))
        continue
    fi
    last=$(( n < PAGES ? n : PAGES ))
    if [ "$IMAGES" -eq 1 ] && [ "$f" != "$WORK/scan.pdf" ]; then
        list=$(timeout 30 pdfimages -f 1 -l "$last" -list "$f" 2>/dev/null | tail -n +3 || true)
        if [ -z "$list" ] || echo "$list" | awk '{print $9}' | grep -qE '^(ccitt|jbig2|jpx)$'; then
            continue
        fi
    fi
    if [ "$FEATURES" -eq 1 ]; then
        if ! timeout 30 qpdf --qdf --object-streams=disable "$f" - 2>/dev/null |
            grep -aqE '/ShadingType|/PatternType|/SMask *<<|/AP *<<'; then
            continue
        fi
    fi
    if [ "$MIN_TEXT" -gt 0 ]; then
        chars=$(timeout 30 pdftotext -q -f 1 -l "$last" "$f" - 2>/dev/null | tr -d ' \n\t\r\f' |
            wc -m || true)
        if [ "${chars:-0}" -lt "$MIN_TEXT" ]; then
            continue
        fi
    fi
    list="1-$last"
    count=$last
    if [ "$TEXT_PAGES" -gt 0 ]; then
        selected=$(timeout 60 "$OURS" --page-kinds "$f" 2>/dev/null | awk '$1 == "text" { print $2 }' || true)
        [ -z "$selected" ] && continue
        chars=0
        for p in $selected; do
            c=$(timeout 30 pdftotext -q -f "$p" -l "$p" "$f" - 2>/dev/null | tr -d ' \n\t\r\f' |
                wc -m || true)
            chars=$((chars + ${c:-0}))
        done
        [ "$chars" -lt "$TEXT_PAGES" ] && continue
        list=$(echo $selected | tr ' ' ',')
        count=$(echo $selected | wc -w)
    fi
    rm -rf "$WORK/ours" "$WORK/mutool"
    mkdir -p "$WORK/ours" "$WORK/mutool"
    if [ "$TEXT_PAGES" -gt 0 ]; then
        read -r to rc_o < <(timed "$OURS" "$f" "$list" "$DPI" "$WORK/ours")
    else
        read -r to rc_o < <(timed "$OURS" "$f" 1 "$last" "$DPI" "$WORK/ours")
    fi
    read -r tm rc_m < <(timed mutool draw -q -r "$DPI" -F png -o "$WORK/mutool/p%04d.png" \
        "$f" "$list")
    if [ "$rc_o" -ge 124 ] || [ "$rc_m" -ge 124 ]; then
        echo "left out (time-out or killed: ours $rc_o, mutool $rc_m): $f"
        skipped=$((skipped + 1))
        continue
    fi
    [ "$rc_o" -ne 0 ] && ours_errors=$((ours_errors + 1))
    ours_total=$(awk -v a="$ours_total" -v b="$to" 'BEGIN { printf "%.6f", a + b }')
    mutool_total=$(awk -v a="$mutool_total" -v b="$tm" 'BEGIN { printf "%.6f", a + b }')
    files=$((files + 1))
    pages=$((pages + count))
done

if [ "$files" -eq 0 ]; then
    echo "no file rendered by both" >&2
    exit 1
fi
python3 - "$files" "$pages" "$skipped" "$ours_errors" "$ours_total" "$mutool_total" "$DPI" <<'PY'
import sys
files, pages, skipped, errors = map(int, sys.argv[1:5])
ours, mutool, dpi = float(sys.argv[5]), float(sys.argv[6]), sys.argv[7]
print(f"{files} files, {pages} pages at {dpi} DPI ({skipped} files left out, "
      f"{errors} with page errors in ours)")
print(f"velmo {ours:.2f} s, mutool {mutool:.2f} s, ratio velmo/mutool {ours / mutool:.3f}")
PY
