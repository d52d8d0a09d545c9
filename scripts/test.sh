#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every suite inside a
# private desktop session (its own D-Bus, secret store and home directory).
#
#   scripts/test.sh              the suites
#   scripts/test.sh --sanitize   everything built with AddressSanitizer,
#                                UndefinedBehaviorSanitizer and LeakSanitizer:
#                                the suites, the widget suites and the real app
#                                in the end-to-end test
#   scripts/test.sh --portable   the portable build (Qt's own desktop services,
#                                no D-Bus): the core and widget suites, with
#                                plain ctest, no session bus and no display
#   scripts/test.sh --desktops [DESKTOP...]
#                                the desktop matrix: the app of the test build
#                                on real shells started headless (XFCE, sway
#                                native and through Xwayland, GNOME, Plasma
#                                with a wallet and on a first run), each
#                                with its own session; a table of its checks,
#                                screenshots and logs in build/desktops/
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=lib/build.sh
source "$root/scripts/lib/build.sh"
if [[ "${1:-}" == --desktops ]]; then
    "$root/scripts/install-deps.sh" --desktops
else
    "$root/scripts/install-deps.sh"
fi
# Builds in other folders share the compiler cache: paths are hashed relative
# to the checkout.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

# The suites pass the service address they use explicitly; the app itself is
# built against the local stand-in service, which the end-to-end test starts.
build="$root/build"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "${1:-}" in
    "") ;;
    --sanitize)
        build="$root/build-sanitize"
        options=(-DCMAKE_BUILD_TYPE=Debug -DCUELARK_SANITIZE=ON -DCUELARK_BUILD_UI=ON)
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
        export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        # The soak looks for memory errors here, which a few hundred cycles
        # show as well as the normal run's thousand.
        export CUELARK_SOAK_CYCLES="${CUELARK_SOAK_CYCLES:-300}"
        ;;
    --portable)
        build="$root/build-portable"
        options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCUELARK_DESKTOP=portable)
        ;;
    --desktops) ;;
    *) echo "usage: $0 [--sanitize | --portable | --desktops [DESKTOP...]]" >&2; exit 64 ;;
esac

configure_build "$root" "$build" "${options[@]}"
if [[ "${1:-}" == --desktops ]]; then
    cmake --build "$build" --target cuelark cuelark-stand-in
    exec "$root/tests/e2e/desktops/run.sh" "$stand_in_service_url" "$build/src/app/cuelark" \
        "$build/tools/stand-in/cuelark-stand-in" "$build/desktops" "${@:2}"
fi
cmake --build "$build"
if [[ "${1:-}" == --portable ]]; then
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
        ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
else
    "$root/scripts/with-session.sh" ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
fi
