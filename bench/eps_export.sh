#!/usr/bin/env bash
# Times our EPS export against `pdftops -eps` on page 1 of every tenth corpus
# file (by sorted name), one process per page for both, and prints the ratio
# of the total times. A page that either side fails or takes longer than the
# time-out is left out of both totals and listed.
#   bench/eps_export.sh [--step N] [--timeout S] [file|folder ...]
#     --step N     every Nth file of the sorted list (default 10)
#     --timeout S  seconds per page and tool (default 60)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build/bench"
STEP=10
TIMEOUT=60
INPUTS=()
while [ $# -gt 0 ]; do
    case "$1" in
        --step) STEP="$2"; shift 2 ;;
        --timeout) TIMEOUT="$2"; shift 2 ;;
        -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
        *) INPUTS+=("$1"); shift ;;
    esac
done
if [ ${#INPUTS[@]} -eq 0 ]; then
    INPUTS=("${CORPUS_DIR:-$ROOT/../shared/corpus}")
fi

cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVPL_SANITIZE=OFF \
    -DVPL_TESTS=OFF -DVPL_BENCH=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
cmake --build "$BUILD" --target bench_eps_export -- -j3 >/dev/null
OURS="$BUILD/bench/bench_eps_export"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
find "${INPUTS[@]}" -type f -iname '*.pdf' | LC_ALL=C sort | awk -v s="$STEP" '(NR - 1) % s == 0' \
    > "$WORK/files"

python3 - "$WORK" "$OURS" "$TIMEOUT" <<'PY'
import subprocess, sys, time
work, ours, timeout = sys.argv[1], sys.argv[2], float(sys.argv[3])
files = [l.rstrip("\n") for l in open(work + "/files") if l.strip()]

def run(cmd):
    start = time.monotonic()
    try:
        r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=timeout)
        ok = r.returncode == 0
    except subprocess.TimeoutExpired:
        ok = False
    return ok, time.monotonic() - start

total_ours = total_peer = 0.0
pages, left_out = 0, []
for i, f in enumerate(files):
    ok_o, t_o = run([ours, f, "1", f"{work}/ours-{i}.eps"])
    ok_p, t_p = run(["pdftops", "-eps", "-f", "1", "-l", "1", f, f"{work}/peer-{i}.eps"])
    if ok_o and ok_p:
        pages += 1
        total_ours += t_o
        total_peer += t_p
    else:
        left_out.append(f"{f}: {'ours' if not ok_o else ''} {'pdftops' if not ok_p else ''}".strip())
for l in left_out:
    print("left out:", l)
print(f"{pages} pages: velmo {total_ours:.2f} s, pdftops -eps {total_peer:.2f} s, "
      f"ratio velmo/pdftops {total_ours / total_peer if total_peer else float('nan'):.3f}")
PY
