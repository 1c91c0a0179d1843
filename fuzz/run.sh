#!/bin/sh
# Runs every fuzz target of BUILD_DIR over a scratch copy of its seed corpus
# (the kept seeds are never modified), twice SECONDS in all, shared evenly
# among the targets. Fails on a crash.
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
# The two older targets had SECONDS each; the three share that total.
each=$((2 * seconds / 3))
if [ "$each" -lt 1 ]; then each=1; fi

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
        cp "$work/$target/artifacts/"* "$build_dir/fuzz/crashes/" 2>/dev/null || true
        echo "fuzz_$target failed; inputs kept in $build_dir/fuzz/crashes" >&2
        exit 1
    fi
done
