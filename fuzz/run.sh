#!/bin/sh
# Runs every fuzz target of BUILD_DIR over a scratch copy of its seed corpus
# (the kept seeds are never modified), SECONDS each. Fails on a crash, and
# prints each failing input in base64 so that a report can carry it.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build_dir=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

targets="reply_scan ubx_stream profile_file"
each=$seconds

for target in $targets; do
    exe="$build_dir/fuzz/fuzz_$target"
    if [ ! -x "$exe" ]; then
        echo "missing $exe: build with the fuzz preset first" >&2
        exit 2
    fi
    mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
    cp "$here/corpus/$target/"* "$work/$target/corpus/"
    echo "fuzz_$target: $each s"
    if ! "$exe" -max_total_time="$each" -print_final_stats=1 \
            -artifact_prefix="$work/$target/artifacts/" "$work/$target/corpus"; then
        mkdir -p "$build_dir/fuzz/crashes"
        for input in "$work/$target/artifacts/"*; do
            [ -f "$input" ] || continue
            echo "fuzz_$target failing input $(basename "$input") (base64):" >&2
            base64 -w0 "$input" >&2
            echo >&2
            cp "$input" "$build_dir/fuzz/crashes/"
        done
        echo "fuzz_$target failed; inputs kept in $build_dir/fuzz/crashes" >&2
        exit 1
    fi
done
