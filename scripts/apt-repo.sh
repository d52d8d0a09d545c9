#!/usr/bin/env bash
# Adds packages to a signed apt repository folder and signs it anew; any web
# server that serves the folder's files serves the repository:
#
#   scripts/apt-repo.sh --sign-key KEYID REPO [PACKAGE.deb...]
#
#   REPO/pool/main/c/cuelark/*.deb                   every package added so far
#   REPO/dists/stable/main/binary-<arch>/Packages{,.gz,.xz}
#   REPO/dists/stable/{Release,InRelease,Release.gpg} signed with KEYID
#   REPO/cuelark-archive-keyring.gpg                 the public key, for signed-by=
#
# The index is written with apt-ftparchive (apt-utils) from the packages in the
# pool, and signed with gpg's secret key KEYID (GNUPGHOME as usual). Users add it
# with (README, "Updates through apt"):
#
#   curl -fsSLo /usr/share/keyrings/cuelark-archive-keyring.gpg URL/cuelark-archive-keyring.gpg
#   echo "deb [signed-by=/usr/share/keyrings/cuelark-archive-keyring.gpg] URL stable main" >/etc/apt/sources.list.d/cuelark.list
#
# scripts/release.sh runs it for each release.
set -euo pipefail

usage() { sed -n '2,/^set -e/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2; exit 64; }
key="" repo=""
debs=()
while (($#)); do
    case "$1" in
        --sign-key) [[ -n "${2:-}" ]] || usage; key="$2"; shift 2 ;;
        -*) usage ;;
        *) if [[ -z "$repo" ]]; then repo="$1"; else debs+=("$(readlink -f "$1")"); fi; shift ;;
    esac
done
[[ -n "$key" && -n "$repo" ]] || usage
for tool in apt-ftparchive gpg; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps.sh)" >&2; exit 69; }
done
gpg --batch --list-secret-keys "$key" >/dev/null 2>&1 || { echo "gpg has no secret key '$key'" >&2; exit 1; }
mkdir -p "$repo"
repo="$(cd "$repo" && pwd)"
suite=stable component=main

pool="$repo/pool/$component/c/cuelark"
mkdir -p "$pool"
for deb in "${debs[@]}"; do
    [[ "$(dpkg-deb -f "$deb" Package)" == cuelark ]] || { echo "$deb is not a cuelark package" >&2; exit 1; }
    cp "$deb" "$pool/"
done

cd "$repo"
dist="dists/$suite"
rm -rf "$dist"
archs="$(for deb in "$pool"/*.deb; do [[ -e "$deb" ]] && dpkg-deb -f "$deb" Architecture; done | sort -u)"
[[ -n "$archs" ]] || { echo "$repo has no package" >&2; exit 1; }
for arch in $archs; do
    mkdir -p "$dist/$component/binary-$arch"
    apt-ftparchive --arch "$arch" packages "pool/$component" >"$dist/$component/binary-$arch/Packages"
    gzip -9nkf "$dist/$component/binary-$arch/Packages"
    xz -kf "$dist/$component/binary-$arch/Packages"
done
apt-ftparchive \
    -o APT::FTPArchive::Release::Origin=Cuelark -o APT::FTPArchive::Release::Label=Cuelark \
    -o APT::FTPArchive::Release::Suite="$suite" -o APT::FTPArchive::Release::Codename="$suite" \
    -o APT::FTPArchive::Release::Architectures="${archs//$'\n'/ }" \
    -o APT::FTPArchive::Release::Components="$component" \
    -o APT::FTPArchive::Release::Description="Cuelark for Linux" \
    release "$dist" >"$repo/Release.tmp"
mv "$repo/Release.tmp" "$dist/Release"
gpg --batch --yes --local-user "$key" --clearsign -o "$dist/InRelease" "$dist/Release"
gpg --batch --yes --local-user "$key" --armor --detach-sign -o "$dist/Release.gpg" "$dist/Release"
gpg --batch --yes --export "$key" >"$repo/cuelark-archive-keyring.gpg"
echo "$repo"
