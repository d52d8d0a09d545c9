#!/usr/bin/env bash
# The Debian package: builds it from BUILD (scripts/package.sh), checks it with
# lintian, appstreamcli and desktop-file-validate, unpacks it into a scratch
# root and starts the installed program on a headless desktop (its icon in the
# tray, the signed-out panel); then builds it again, relinking the program and
# regenerating every generated file, and finds the same package.
#
#   tests/e2e/installed_package.sh BUILD [ARTIFACT_DIR]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
(($# >= 1)) || { echo "usage: $0 BUILD [ARTIFACT_DIR]" >&2; exit 64; }
if [[ -z "${CUELARK_TEST_SESSION:-}" ]]; then
    exec "$root/scripts/with-session.sh" "$(readlink -f "${BASH_SOURCE[0]}")" "$@"
fi
# shellcheck source=../../scripts/lib/headless-desktop.sh
source "$root/scripts/lib/headless-desktop.sh"
build="$(cd "$1" && pwd)"
artifacts="$(mkdir -p "${2:-installed_package}" && cd "${2:-installed_package}" && pwd)"
rm -rf "${artifacts:?}"/*

deb="$("$root/scripts/package.sh" "$build" --lintian)" || desktop_fail "packaging or lintian failed"
cp "$deb" "$artifacts/"
desktop_log "$(basename "$deb"): $(stat -c %s "$deb") bytes, lintian without errors"

scratch="$artifacts/root"
dpkg -x "$deb" "$scratch"
id="$desktop_app_id"
expected=(usr/bin/cuelark "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml"
          "usr/share/icons/hicolor/scalable/apps/$id.svg" usr/share/doc/cuelark/copyright
          usr/share/doc/cuelark/changelog.gz usr/share/man/man1/cuelark.1.gz)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x$size/apps/$id.png")
    [[ "$(identify -format %wx%h "$scratch/usr/share/icons/hicolor/${size}x$size/apps/$id.png")" == "${size}x$size" ]] ||
        desktop_fail "the ${size}px icon has another size"
done
for file in "${expected[@]}"; do
    [[ -f "$scratch/$file" ]] || desktop_fail "the package lacks /$file"
done
unexpected="$(cd "$scratch" && find . -type f | sed 's|^\./||' | grep -vxF -f <(printf '%s\n' "${expected[@]}") || true)"
[[ -z "$unexpected" ]] || desktop_fail "the package holds files outside the layout: $unexpected"
# Nothing is looked up in the build tree or a resource folder at run time.
if grep -aqF -e "$build" -e ".bundle" "$scratch/usr/bin/cuelark"; then
    desktop_fail "the installed program names the build directory or a resource folder"
fi
appstreamcli validate --no-net --pedantic "$scratch/usr/share/metainfo/$id.metainfo.xml" >&2 ||
    desktop_fail "appstreamcli rejects the metainfo"
desktop-file-validate "$scratch/usr/share/applications/$id.desktop" || desktop_fail "invalid desktop entry"
grep -qx 'TryExec=cuelark' "$scratch/usr/share/applications/$id.desktop" || desktop_fail "the desktop entry has no TryExec"
desktop_log "layout, icons, metainfo and desktop entry as expected"
# A package for another service than the real one says which, and sorts below the release.
if grep -qx 'inline constexpr bool realService = false;' "$build/src/generated/AppConfig.h"; then
    service_url="$(sed -n 's/.*serviceUrl\[\] = "\(.*\)";/\1/p' "$build/src/generated/AppConfig.h")"
    version="$(dpkg-deb -f "$deb" Version)"
    if [[ "$version" != *~* ]] || ! dpkg --compare-versions "$version" lt "${version%%~*}"; then
        desktop_fail "the package for $service_url is version $version, as a release would be"
    fi
    [[ "$(dpkg-deb -f "$deb" Description)" == *"$service_url"* ]] ||
        desktop_fail "the package's description does not name $service_url"
    desktop_log "version $version, its description names $service_url"
fi

desktop_before_cleanup() {
    (($1 == 0)) && return 0
    for log in "$desktop_dir"/app-*.log "$desktop_dir"/{trayer,xvfb}.log; do
        [[ -s "$log" ]] && { echo "----- $(basename "$log")"; tail -n 40 "$log"; }
    done
}
desktop_init "$artifacts/run"
desktop_start_xvfb
desktop_start_tray
desktop_start_app "$scratch/usr/bin/cuelark"
desktop_log "installed program started; icon in the tray after ${desktop_embed_ms} ms"
desktop_open_panel
desktop_panel_shows "$desktop_button_face" 200 || desktop_fail "the signed-out panel looks empty"
desktop_screenshot "$artifacts/signed-out.png"
desktop_log "signed-out panel open"
desktop_stop_app

# Again from freshly linked and generated files: the same package.
first="$artifacts/first.deb"
mv "$artifacts/$(basename "$deb")" "$first"
rm -f "$build/src/app/cuelark"
rm -rf "$build/packaging/icons" "$build/packaging/"*.gz
touch "$build/packaging/changelog" "$build/packaging/cuelark.1"
second="$("$root/scripts/package.sh" "$build")"
describe() { dpkg-deb -f "$1"; dpkg-deb -c "$1"; dpkg-deb -I "$1" md5sums; }
if ! diff <(describe "$first") <(describe "$second") >"$artifacts/rebuild.diff"; then
    cat "$artifacts/rebuild.diff" >&2
    desktop_fail "a second build gave another package (above)"
fi
cmp -s "$first" "$second" || desktop_fail "a second build gave the same files in other bytes"
desktop_log "a second build gave the same package"
desktop_log "PASS"
