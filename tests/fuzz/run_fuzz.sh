#!/bin/sh
# Builds the image-header fuzz target with clang and runs it for RUNS inputs
# (exit 77, a skip, when clang is not installed).
# Usage: run_fuzz.sh SOURCE_DIR BUILD_DIR RUNS
set -eu
SRC=$1
OUT=$2
RUNS=${3:-100000}
if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ is not installed: fuzz target skipped"
    exit 77
fi
mkdir -p "$OUT/corpus"
CXX="clang++"
if command -v ccache >/dev/null 2>&1; then CXX="ccache clang++"; fi
$CXX -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$SRC" "$SRC/tests/fuzz/ImageHeader_fuzz.cpp" "$SRC/content/ImageHeader.cpp" \
    "$SRC/codecs/ExifReader.cpp" -o "$OUT/image_header_fuzz"
exec "$OUT/image_header_fuzz" -runs="$RUNS" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
    "$OUT/corpus" "$SRC/tests/fuzz/seeds"
