#!/usr/bin/env bash
# Builds the program's sources (src/) with clazy, clang with Qt's own checks, in
# build-clazy/, and fails on any warning. CI runs it after the suites.
#
#   scripts/clazy.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=lib/build.sh
source "$root/scripts/lib/build.sh"
"$root/scripts/install-deps.sh"
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

# The checks KDE projects run (levels 0 and 1) and the manual ones that fit a
# Qt 6 program written for Qt 6 (the qt6-* porting aids do not: they flag
# QProcess::start() with its program set beforehand, which Qt 6 keeps).
checks=(
    level0 level1
    missing-qobject-macro isempty-vs-count qt-keywords tr-non-literal
    signal-with-return-value thread-with-slots raw-environment-function qstring-varargs
    use-arrow-operator-instead-of-data unexpected-flag-enumerator-value qproperty-type-mismatch
    use-chrono-in-qtimer
)
clazy_checks="$(IFS=,; echo "${checks[*]}")"

# The checks go on the command line rather than in CLAZY_CHECKS, so that ccache,
# which replays a cached compile's warnings, tells apart runs with other checks.
# No optimisation and no debug information: only the diagnostics count.
build="$root/build-clazy"
configure_build "$root" "$build" -DCMAKE_BUILD_TYPE= -DCUELARK_BUILD_TESTS=OFF \
    -DCMAKE_CXX_COMPILER=clazy \
    -DCMAKE_CXX_FLAGS="-Xclang -plugin-arg-clazy -Xclang $clazy_checks -Werror"
# Every finding at once rather than the first file's.
cmake --build "$build" --target cuelark -- -k 0
