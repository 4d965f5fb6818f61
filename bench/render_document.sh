#!/usr/bin/env bash
# Times the public class's RenderDocumentToFile (72 DPI, PNG) against
# `mutool draw -r 72 -F png` and `pdftoppm -r 72 -png` on the same pages, one
# process per file for each, and prints the ratio of our total time to each
# peer's. Two sets: pages 1-3 of every corpus file, and the longest corpus
# documents drawn whole. Files are ../shared/corpus (or $CORPUS_DIR).
#   bench/render_document.sh [--limit K] [--long N] [--timeout S]
#     --limit K    at most K files in the first set (default all)
#     --long N     the N documents with most pages, drawn whole (default 3)
#     --timeout S  seconds per file and renderer (default 120); a file that
#                  runs out of time in any renderer is left out of all totals
# Ours is bench_render_document of the Release bench build (build/bench);
# $VPL_RENDER_DOCUMENT_EXE runs another one.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OURS="${VPL_RENDER_DOCUMENT_EXE:-$ROOT/build/bench/bench/bench_render_document}"
CORPUS="${CORPUS_DIR:-$ROOT/../shared/corpus}"
LIMIT=0
LONG=3
TIMEOUT=120
while [ $# -gt 0 ]; do
    case "$1" in
        --limit) LIMIT="$2"; shift 2 ;;
        --long) LONG="$2"; shift 2 ;;
        --timeout) TIMEOUT="$2"; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -x "$OURS" ] || { echo "build $OURS first (cmake -DVPL_BENCH=ON, Release)" >&2; exit 2; }
for t in mutool pdftoppm qpdf; do command -v "$t" >/dev/null || { echo "$t missing (tools/deps)" >&2; exit 2; }; done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Seconds taken by a command under the time limit, and its exit status.
run_timed() {
    local s e rc=0
    s=$(date +%s.%N)
    timeout --kill-after=5 "$TIMEOUT" "$@" >/dev/null 2>&1 || rc=$?
    e=$(date +%s.%N)
    echo "$(awk -v a="$s" -v b="$e" 'BEGIN { printf "%.6f", b - a }') $rc"
}

# One set: lines "file last-page"; prints the totals and both ratios.
bench_set() {
    local name="$1" list="$2"
    local to=0 tm=0 tp=0 files=0 pages=0 left=0
    while read -r f last; do
        [ -n "$f" ] || continue
        rm -rf "$WORK/o" "$WORK/m" "$WORK/p"; mkdir -p "$WORK/o" "$WORK/m" "$WORK/p"
        read -r a ra < <(run_timed "$OURS" "$f" 1 "$last" 72 "$WORK/o")
        read -r b rb < <(run_timed mutool draw -q -r 72 -F png -o "$WORK/m/p%d.png" "$f" "1-$last")
        read -r c rc < <(run_timed pdftoppm -r 72 -png -f 1 -l "$last" "$f" "$WORK/p/p")
        if [ "$ra" -ge 124 ] || [ "$rb" -ge 124 ] || [ "$rc" -ge 124 ]; then
            echo "left out (time-out or killed: ours $ra, mutool $rb, pdftoppm $rc): $f"
            left=$((left + 1)); continue
        fi
        read -r to tm tp < <(awk -v x="$to $tm $tp" -v a="$a" -v b="$b" -v c="$c" \
            'BEGIN { split(x, t, " "); printf "%.6f %.6f %.6f\n", t[1] + a, t[2] + b, t[3] + c }')
        files=$((files + 1)); pages=$((pages + last))
    done <<< "$list"
    printf '%s: %d files, %d pages (%d left out): ours %.2f s, mutool %.2f s, pdftoppm %.2f s\n' \
        "$name" "$files" "$pages" "$left" "$to" "$tm" "$tp"
    awk -v n="$name" -v o="$to" -v m="$tm" -v p="$tp" \
        'BEGIN { printf "%s: ours / mutool = %.2f, ours / pdftoppm = %.2f\n", n, o / (m + 1e-6), o / (p + 1e-6) }'
}

# Page counts by qpdf; files it cannot open are left out of both sets.
COUNTS=""
n=0
while IFS= read -r -d '' f; do
    c=$(timeout 30 qpdf --show-npages "$f" 2>/dev/null || true)
    [[ "$c" =~ ^[0-9]+$ ]] && [ "$c" -ge 1 ] || continue
    COUNTS+="$f $c"$'\n'
    n=$((n + 1))
    [ "$LIMIT" -gt 0 ] && [ "$n" -ge "$LIMIT" ] && break
done < <(find "$CORPUS" -type f -iname '*.pdf' -print0 | sort -z)

FIRST=$(awk 'NF == 2 { print $1, ($2 < 3 ? $2 : 3) }' <<< "$COUNTS")
WHOLE=$(awk 'NF == 2' <<< "$COUNTS" | sort -k2,2nr | head -n "$LONG")
bench_set "pages 1-3" "$FIRST"
bench_set "long documents whole ($(awk '{ printf "%s%s", s, $2; s = ", " }' <<< "$WHOLE") pages)" "$WHOLE"
