#!/bin/sh
# The libFuzzer targets of tests/fuzz: built with clang in a CMake tree of
# their own (OUT_DIR/clang, so the gcc libraries are never linked in) and run.
# Exit 77, a skip, when clang is not installed.
#
# Usage:
#   run_fuzz.sh build SOURCE_DIR OUT_DIR
#   run_fuzz.sh run SOURCE_DIR OUT_DIR NAME [libFuzzer options...]
#
# A run starts from a working corpus OUT_DIR/corpus/NAME (new inputs go
# there), the committed seeds tests/fuzz/seeds/NAME and the kept regression
# inputs tests/data/fuzz/NAME; the PDF targets also start from the smallest
# files of the PDF corpus, copied into the working corpus.
# Environment: FUZZ_SECONDS (run time, default 20), FUZZ_JOBS (build jobs,
# default: all cores), FUZZ_KEEP_CORPUS, CORPUS_DIR (default: ../shared/corpus beside the
# sources, else /work/shared/corpus).
set -eu
MODE=$1
SRC=$(cd "$2" && pwd)
OUT=$3
BUILD="$OUT/clang"

if ! command -v clang++ >/dev/null 2>&1 || ! command -v clang >/dev/null 2>&1; then
    echo "clang is not installed: fuzz targets skipped"
    exit 77
fi

# Builds the target named by $1 (default: every fuzz target); each target
# links only the libraries its CMake entry names.
build() {
    mkdir -p "$OUT"
    # One build at a time, however many tests start together.
    exec 9>"$OUT/build.lock"
    if command -v flock >/dev/null 2>&1; then flock 9; fi
    export CCACHE_BASEDIR="$SRC" CCACHE_NOHASHDIR=1
    LAUNCHER=""
    if command -v ccache >/dev/null 2>&1; then
        LAUNCHER="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
    fi
    # A tree configured with any other compiler is made anew.
    if [ -f "$BUILD/CMakeCache.txt" ] &&
        ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$BUILD/CMakeCache.txt"; then
        rm -rf "$BUILD"
    fi
    if [ ! -f "$BUILD/build.ninja" ]; then
        # shellcheck disable=SC2086
        CC=clang CXX=clang++ cmake -S "$SRC" -B "$BUILD" -G Ninja \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
            -DVPL_FUZZ=ON -DVPL_TESTS=OFF -DVPL_BENCH=OFF -DVPL_SANITIZE=OFF $LAUNCHER >/dev/null
    fi
    cmake --build "$BUILD" --target "${1:-vpl_fuzz_targets}" -j "${FUZZ_JOBS:-$(nproc)}"
    # Every archive linked into a target must come from clang.
    for LIB in $(find "$BUILD" -name '*.a'); do
        if readelf -p .comment "$LIB" 2>/dev/null | grep -q 'GCC:'; then
            echo "$LIB holds objects built by gcc"
            exit 1
        fi
    done
    exec 9>&-
}

if [ "$MODE" = build ]; then
    build
    exit 0
fi

[ "$MODE" = run ] || { echo "unknown mode $MODE"; exit 2; }
NAME=$4
shift 4
build "${NAME}_fuzz"
BIN="$BUILD/tests/fuzz/${NAME}_fuzz"
WORK="$OUT/corpus/$NAME"
ARTIFACTS="$OUT/artifacts/$NAME"
# Each run starts again from the seeds, so a run takes the same time however
# often it ran before (FUZZ_KEEP_CORPUS=1 keeps what earlier runs found).
[ "${FUZZ_KEEP_CORPUS:-0}" = 1 ] || rm -rf "$WORK"
mkdir -p "$WORK" "$ARTIFACTS"

case "$NAME" in
document_load | object_parser)
    CORPUS=${CORPUS_DIR:-}
    if [ -z "$CORPUS" ]; then
        CORPUS="$SRC/../shared/corpus"
        [ -d "$CORPUS" ] || CORPUS=/work/shared/corpus
    fi
    if [ -d "$CORPUS" ]; then
        # The 40 smallest PDFs under 32 KiB, named by their checksum.
        find "$CORPUS" -type f -iname '*.pdf' -size -32k -printf '%s %p\n' | sort -n | head -n 40 |
            while read -r _ FILE; do
                cp "$FILE" "$WORK/corpus-$(cksum <"$FILE" | cut -d' ' -f1)"
            done
    fi
    ;;
esac

# The long runs take -timeout=10 (FUZZ_TIMEOUT); the short CTest runs allow
# slower machines more, so that a loaded CI machine reports only real hangs.
# A crash exits 1: libFuzzer's own code for it, 77, is CTest's skip code.
set -- -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
    -timeout="${FUZZ_TIMEOUT:-30}" -error_exitcode=1 \
    -print_final_stats=1 -artifact_prefix="$ARTIFACTS/" "$@" "$WORK"
for DIR in "$SRC/tests/fuzz/seeds/$NAME" "$SRC/tests/data/fuzz/$NAME"; do
    if [ -d "$DIR" ]; then set -- "$@" "$DIR"; fi
done
exec "$BIN" "$@"
