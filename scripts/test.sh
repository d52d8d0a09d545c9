#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every suite inside a
# private desktop session (its own D-Bus, secret store and home directory).
#
#   scripts/test.sh              the suites
#   scripts/test.sh --sanitize   the non-UI library and its suites built with
#                                AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"

# The suites pass the service address they use explicitly; the app itself is
# built against the local stand-in service, which the end-to-end test starts.
build="$root/build"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCUELARK_SERVICE_URL=http://127.0.0.1:8787)
if [[ "${1:-}" == --sanitize ]]; then
    build="$root/build-sanitize"
    options=(-DCMAKE_BUILD_TYPE=Debug -DCUELARK_SANITIZE=ON -DCUELARK_BUILD_UI=OFF)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake -S "$root" -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build"
"$root/scripts/with-session.sh" ctest --test-dir "$build" --output-on-failure
