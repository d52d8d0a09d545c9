#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and fuzzes each target in turn from
# its seeds in tests/fuzz/corpus/<target>/. The corpus grows in
# build-fuzz/corpus/<target>/ and is kept for the next run; inputs that crash land
# in build-fuzz/findings/<target>/.
#
#   scripts/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(events requests me auth_start auth_poll release error_body date version)

build="$root/build-fuzz"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCUELARK_FUZZ=ON -DCUELARK_BUILD_UI=OFF >/dev/null
cmake --build "$build" --target cuelark-fuzz

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
    corpus="$root/tests/fuzz/corpus/$target"
    work="$build/corpus/$target"
    findings="$build/findings/$target"
    mkdir -p "$work" "$findings"
    echo "== $target: ${seconds}s"
    CUELARK_FUZZ_TARGET="$target" "$build/tests/fuzz/cuelark-fuzz" "$work" "$corpus" \
        -max_total_time="$seconds" -max_len=4096 -timeout=10 -artifact_prefix="$findings/" \
        -print_final_stats=1 2>&1 | grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' || true
    if compgen -G "$findings/crash-*" >/dev/null || compgen -G "$findings/timeout-*" >/dev/null; then
        echo "!! $target: findings in $findings" >&2
        status=1
    fi
done
exit "${status:-0}"
