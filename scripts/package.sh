#!/usr/bin/env bash
# Builds the Debian package of the app:
#
#   scripts/package.sh [--version V] [--lintian]  for the real service
#   scripts/package.sh --stand-in [--lintian]  for the local stand-in service
#   scripts/package.sh BUILD_DIR [--lintian]   from a configured build
#
# With no build named, it configures build-release/ the way scripts/release.sh
# does (the real service, tests off, Debian's hardening flags; at the project's
# version, or V) and builds only what the package holds.
# --stand-in builds it from build/, configured as scripts/demo.sh and
# scripts/test.sh do, for the stand-in at http://127.0.0.1:8787 (started by
# `scripts/demo.sh --stand-in`). A package for any service but the real one is
# marked: its version sorts below the release's (1.0.0~standin) and its
# description names the address. Prints the path of the .deb
# (BUILD_DIR/package/cuelark_<version>_<arch>.deb). With --lintian it also runs
# lintian on it and fails on any error.
#
# The package is reproducible: every file's time is that of the last commit
# (SOURCE_DATE_EPOCH, unless set already), and building it twice from the same
# build gives the same bytes.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=lib/build.sh
source "$root/scripts/lib/build.sh"
usage() { echo "usage: $0 [--version VERSION | --stand-in | BUILD_DIR] [--lintian]" >&2; exit 64; }
build="" mode=release lint=false
version="$(sed -n 's/^project(Cuelark VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
while (($#)); do
    case "$1" in
        --lintian) lint=true ;;
        --version) [[ "$mode" == release && -n "${2:-}" ]] || usage; version="$2"; shift ;;
        --stand-in) [[ "$mode" == release ]] || usage; mode=stand-in ;;
        -*) usage ;;
        *) [[ "$mode" == release ]] || usage; mode=configured; build="$(cd "$1" && pwd)" ;;
    esac
    shift
done

if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH

# Only what the package holds: the program and the generated files.
targets=(--target cuelark cuelark-install-files)
case "$mode" in
    release)
        build="$root/build-release"
        "$root/scripts/install-deps.sh" >&2
        configure_release_build "$root" "$build" "$version" \
            -DCUELARK_RELEASE_DATE="$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)" >&2
        ;;
    stand-in)
        build="$root/build"
        "$root/scripts/install-deps.sh" >&2
        configure_build "$root" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
        ;;
    configured)
        targets=()
        [[ -f "$build/CPackConfig.cmake" ]] ||
            { echo "$build is not a configured build of the app (no CPackConfig.cmake)" >&2; exit 1; }
        ;;
esac

cmake --build "$build" "${targets[@]}" >&2
rm -rf "$build/package"
# cpack builds nothing more (CMAKE_SKIP_INSTALL_ALL_DEPENDENCY): it installs what is built above.
(cd "$build" && cpack -G DEB --config CPackConfig.cmake >"$build/cpack.log" 2>&1) ||
    { cat "$build/cpack.log" >&2; exit 1; }
deb="$(find "$build/package" -maxdepth 1 -name 'cuelark_*.deb' | head -n1)"
[[ -n "$deb" ]] || { cat "$build/cpack.log" >&2; echo "cpack made no package" >&2; exit 1; }

if $lint; then
    lintian --fail-on error "$deb" >&2
fi
echo "$deb"
