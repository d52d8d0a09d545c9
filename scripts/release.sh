#!/usr/bin/env bash
# Makes a release from one version number: builds the app at that version
# against the real service and packages it (scripts/package.sh), adds the
# package to the signed apt repository (scripts/apt-repo.sh) and writes the
# release record the app's update check reads:
#
#   scripts/release.sh VERSION --sign-key KEYID [--apt-repo DIR] [--notes TEXT]
#                      [--build N] [--download-url URL] [--signed] [--out DIR]
#   scripts/release.sh VERSION --record-only --download-url URL [--notes TEXT]
#                      [--build N] [--signed] [--out DIR]
#
#   VERSION         dotted numbers, e.g. 1.2.0 (the app compares them piece by piece)
#   --notes         the release notes shown in the update alert (default: none, so
#                   the app says "A new version is available.")
#   --build         the build number (default: the number of commits)
#   --download-url  where the package will be published (default: the service's
#                   download address followed by the package's file name)
#   --signed        the published package carries a signature the DJ can check;
#                   without it the alert warns that the build is unsigned
#   --out           where the package and latest.json go (default: release/VERSION)
#   --sign-key      the gpg key (its id or fingerprint, a secret key in GNUPGHOME)
#                   that signs the apt repository
#   --apt-repo      the apt repository folder, which keeps every release's package
#                   (default: release/apt)
#   --record-only   write latest.json alone, building nothing
#
# Upload the package to the download address and latest.json to the service's
# release record address (/mac-app/latest.json); every running copy older than
# VERSION then offers it. Publish the apt repository folder as it is on any web
# server; `apt upgrade` then offers VERSION to those who added it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage() { sed -n '2,/^set -e/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2; exit 64; }

(($# >= 1)) || usage
version="$1"
shift
[[ "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "VERSION must be dotted numbers, not '$version'" >&2; exit 64; }
# shellcheck source=lib/build.sh
source "$root/scripts/lib/build.sh"
notes="" has_notes=false build="" download_url="" signed=false out="" record_only=false
sign_key="" apt_repo="$root/release/apt"
service_url="$real_service_url"
while (($#)); do
    case "$1" in
        --notes) notes="${2?}"; has_notes=true; shift 2 ;;
        --build) build="${2?}"; shift 2 ;;
        --download-url) download_url="${2?}"; shift 2 ;;
        --signed) signed=true; shift ;;
        --out) out="${2?}"; shift 2 ;;
        --record-only) record_only=true; shift ;;
        --sign-key) sign_key="${2?}"; shift 2 ;;
        --apt-repo) apt_repo="${2?}"; shift 2 ;;
        *) usage ;;
    esac
done
$record_only || [[ -n "$sign_key" ]] ||
    { echo "--sign-key KEYID is needed to sign the apt repository (or --record-only)" >&2; exit 64; }
if ! $record_only; then
    "$root/scripts/install-deps.sh"
    gpg --batch --list-secret-keys "$sign_key" >/dev/null 2>&1 ||
        { echo "gpg has no secret key '$sign_key' to sign the apt repository with" >&2; exit 1; }
fi
[[ -z "$build" ]] && build="$(git -C "$root" rev-list --count HEAD 2>/dev/null || echo 0)"
[[ "$build" =~ ^[0-9]+$ ]] || { echo "--build must be a whole number, not '$build'" >&2; exit 64; }
out="$(mkdir -p "${out:-$root/release/$version}" && cd "${out:-$root/release/$version}" && pwd)"
# The publication time, and the time of every file in the package.
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(date +%s)}"
published_at="$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)"

if ! $record_only; then
    deb="$("$root/scripts/package.sh" --version "$version" --lintian)"
    [[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || { echo "$deb is not version $version" >&2; exit 1; }
    cp "$deb" "$out/"
    "$root/scripts/apt-repo.sh" --sign-key "$sign_key" "$apt_repo" "$deb" >/dev/null
    [[ -n "$download_url" ]] || download_url="$service_url/download/mac/$(basename "$deb")"
fi
[[ -n "$download_url" ]] || { echo "--record-only needs --download-url" >&2; exit 64; }

# Exactly the keys and JSON types the update check decodes; no notes leaves
# the key out, so that the app shows its own sentence. Linux has no
# notarization: the signature is the whole check, so "notarized" follows it
# (the app drops its unsigned-build warning only when both are true).
jq -n --arg version "$version" --argjson build "$build" --arg downloadUrl "$download_url" \
    --argjson signed "$signed" --arg notes "$notes" --argjson hasNotes "$has_notes" \
    --arg publishedAt "$published_at" '
    {version: $version, build: $build, downloadUrl: $downloadUrl, signed: $signed,
     notarized: $signed}
    + (if $hasNotes then {releaseNotes: $notes} else {} end)
    + {publishedAt: $publishedAt}' >"$out/latest.json"
echo "$out/latest.json"
