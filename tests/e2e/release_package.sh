#!/usr/bin/env bash
# The package for the real service, as `scripts/package.sh` with no argument
# builds it (build-release/, tests off, Debian's hardening flags): its version
# is the project's, its program talks to the real service and nothing in it
# names the stand-in, lintian finds no error and none of its hardening-no-*
# tags, the desktop entry has TryExec, the manual page carries the version and
# date. The package of the build under test (for the stand-in) is marked: its
# version sorts below the release's and its description names its address.
# Installs nothing; the package is left in ARTIFACT_DIR for the apt repository test.
#
#   tests/e2e/release_package.sh TEST_BUILD [ARTIFACT_DIR]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
(($# >= 1)) || { echo "usage: $0 TEST_BUILD [ARTIFACT_DIR]" >&2; exit 64; }
if [[ -z "${CUELARK_TEST_SESSION:-}" ]]; then
    exec "$root/scripts/with-session.sh" "$(readlink -f "${BASH_SOURCE[0]}")" "$@"
fi
# shellcheck source=../../scripts/lib/build.sh
source "$root/scripts/lib/build.sh"
test_build="$(cd "$1" && pwd)"
artifacts="$(mkdir -p "${2:-release_package}" && cd "${2:-release_package}" && pwd)"
rm -rf "${artifacts:?}"/*
started=$SECONDS
log() { printf '[%3ds] %s\n' "$((SECONDS - started))" "$*"; }
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

deb="$("$root/scripts/package.sh")" || fail "scripts/package.sh failed"
cp "$deb" "$artifacts/"
deb="$artifacts/$(basename "$deb")"
log "$(basename "$deb") built"

project_version="$(sed -n 's/^project(Cuelark VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
version="$(dpkg-deb -f "$deb" Version)"
[[ "$version" == "$project_version" ]] || fail "the release package is version $version, not $project_version"
[[ "$(basename "$deb")" == "cuelark_${project_version}_$(dpkg --print-architecture).deb" ]] ||
    fail "the release package is named $(basename "$deb")"

# The address the program talks to, read as the app reads it
# (tools/service-url: GlassesAPIClient::defaultServiceUrl), built with the package.
cmake --build "$root/build-release" --target cuelark-service-url >/dev/null || fail "cannot build cuelark-service-url"
configured="$("$root/build-release/tools/service-url/cuelark-service-url")"
[[ "$configured" == "$real_service_url real" ]] ||
    fail "the release build's program talks to '$configured', not to '$real_service_url' (real)"
config="$root/build-release/src/generated/AppConfig.h"
scratch="$artifacts/root"
dpkg -x "$deb" "$scratch"
grep -aqF "$real_service_url" "$scratch/usr/bin/cuelark" || fail "the program does not hold $real_service_url"
if grep -aqF -e "$stand_in_service_url" -e "127.0.0.1:" "$scratch/usr/bin/cuelark" ||
    dpkg-deb -f "$deb" Description | grep -qiF -e "stand-in" -e "127.0.0.1"; then
    fail "the release package names the stand-in"
fi
log "version $version, talks to $real_service_url, no sign of the stand-in"

desktop="$scratch/usr/share/applications/$(sed -n 's/.*appId\[\] = "\(.*\)";/\1/p' "$config").desktop"
grep -qx 'TryExec=cuelark' "$desktop" || fail "the desktop entry has no TryExec=cuelark"
[[ -x "$scratch/usr/bin/cuelark" ]] || fail "TryExec names no program of the package"
title="$(zcat "$scratch/usr/share/man/man1/cuelark.1.gz" | sed -n 1p)"
[[ "$title" =~ ^\.TH\ CUELARK\ 1\ \"[0-9]{4}-[0-9]{2}-[0-9]{2}\"\ \"Cuelark\ ${version//./\\.}\" ]] ||
    fail "the manual page's title line lacks the version or date: $title"
log "TryExec in the desktop entry; version and date in the manual page"

lintian -I --fail-on error "$deb" >"$artifacts/lintian.txt" 2>&1 || { cat "$artifacts/lintian.txt" >&2; fail "lintian"; }
if grep -q 'hardening-no-' "$artifacts/lintian.txt"; then
    cat "$artifacts/lintian.txt" >&2
    fail "the program lacks Debian's hardening"
fi
log "lintian: no error, no hardening-no-* tag ($(grep -c '^[A-Z]: ' "$artifacts/lintian.txt" || true) remarks)"

# The build under test is for the stand-in: its package's version sorts below.
# shellcheck disable=SC2016
printf '%s\n' 'include(${CONFIG})' 'message("${${FIELD}}")' >"$artifacts/cpack-field.cmake"
cpack_field() { cmake -DCONFIG="$test_build/CPackConfig.cmake" -DFIELD="$1" -P "$artifacts/cpack-field.cmake" 2>&1; }
stand_in_version="$(cpack_field CPACK_PACKAGE_VERSION)"
[[ "$stand_in_version" == "$project_version~standin" ]] ||
    fail "the stand-in build's package is version '$stand_in_version', not $project_version~standin"
dpkg --compare-versions "$stand_in_version" lt "$version" ||
    fail "the stand-in package's version $stand_in_version does not sort below $version"
cmake --build "$test_build" --target cuelark-service-url >/dev/null || fail "cannot build cuelark-service-url"
read -r stand_in_url which < <("$test_build/tools/service-url/cuelark-service-url")
[[ "$which" == other ]] || fail "the stand-in build says it talks to the real service"
[[ "$(cpack_field CPACK_DEBIAN_PACKAGE_DESCRIPTION)" == *"talks to the service at $stand_in_url,"* ]] ||
    fail "the stand-in package's description does not name its address $stand_in_url"
log "the stand-in build's package: $stand_in_version < $version, names $stand_in_url"
log "PASS"
