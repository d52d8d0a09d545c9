#!/usr/bin/env bash
# Builds the Debian package of the app from a configured build directory:
#
#   scripts/package.sh [BUILD_DIR] [--lintian]
#
# BUILD_DIR defaults to build/ (as configured by scripts/test.sh or
# scripts/demo.sh, which talk to the local stand-in service); for a package
# that talks to the real service use scripts/release.sh. Prints the path of
# the .deb (BUILD_DIR/package/cuelark_<version>_<arch>.deb). With --lintian it
# also runs lintian on it and fails on any error.
#
# The package is reproducible: every file's time is that of the last commit
# (SOURCE_DATE_EPOCH, unless set already), and building it twice from the same
# build gives the same bytes.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
lint=false
for arg in "$@"; do
    case "$arg" in
        --lintian) lint=true ;;
        -*) echo "usage: $0 [BUILD_DIR] [--lintian]" >&2; exit 64 ;;
        *) build="$(cd "$arg" && pwd)" ;;
    esac
done
[[ -f "$build/CPackConfig.cmake" ]] ||
    { echo "$build is not a configured build of the app (no CPackConfig.cmake)" >&2; exit 1; }

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH

cmake --build "$build" >&2
rm -rf "$build/package"
(cd "$build" && cpack -G DEB --config CPackConfig.cmake >"$build/cpack.log" 2>&1) ||
    { cat "$build/cpack.log" >&2; exit 1; }
deb="$(find "$build/package" -maxdepth 1 -name 'cuelark_*.deb' | head -n1)"
[[ -n "$deb" ]] || { cat "$build/cpack.log" >&2; echo "cpack made no package" >&2; exit 1; }

if $lint; then
    lintian --fail-on error "$deb" >&2
fi
echo "$deb"
