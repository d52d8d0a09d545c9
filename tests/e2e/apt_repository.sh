#!/usr/bin/env bash
# The apt repository of scripts/release.sh (scripts/apt-repo.sh), from two
# versions of the package signed with a throwaway gpg key: apt, with every
# folder of its own under a scratch directory (nothing system-wide is read for
# sources or keys, nothing is written outside), takes the first release, then
# offers the second as the candidate and as the upgrade of the first; the
# repository signed with another key is refused.
#
#   tests/e2e/apt_repository.sh PACKAGE.deb [ARTIFACT_DIR]
#
# PACKAGE is the release package (the release_package test leaves it); the
# earlier version is the same package with a lower version in its control file.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
(($# >= 1)) || { echo "usage: $0 PACKAGE.deb [ARTIFACT_DIR]" >&2; exit 64; }
deb_glob="$1"
artifacts="$(mkdir -p "${2:-apt_repository}" && cd "${2:-apt_repository}" && pwd)"
rm -rf "${artifacts:?}"/*
# shellcheck disable=SC2206
debs=($deb_glob)
deb="${debs[0]}"
[[ -f "$deb" ]] || { echo "FAIL: no package at $deb_glob" >&2; exit 1; }
started=$SECONDS
log() { printf '[%3ds] %s\n' "$((SECONDS - started))" "$*"; }
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

# Two throwaway keys: the repository's, and another one.
# (A short temporary folder: gpg-agent's socket path has a length limit.)
GNUPGHOME="$(mktemp -d "${TMPDIR:-/tmp}/cuelark-gpg.XXXXXX")"
export GNUPGHOME
trap 'gpgconf --kill all 2>/dev/null || true; rm -rf "$GNUPGHOME"' EXIT
for who in release other; do
    gpg --batch --quiet --passphrase '' --quick-gen-key "Cuelark $who test key <$who@cuelark.invalid>" \
        ed25519 sign never 2>/dev/null
done
fingerprint() { gpg --batch --with-colons --list-keys "$1" 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }'; }
release_key="$(fingerprint release@cuelark.invalid)"
other_key="$(fingerprint other@cuelark.invalid)"

# The earlier release: the same package at a lower version.
version="$(dpkg-deb -f "$deb" Version)"
earlier="${version}~rc1"
dpkg-deb -R "$deb" "$artifacts/unpacked"
sed -i "s/^Version: .*/Version: $earlier/" "$artifacts/unpacked/DEBIAN/control"
earlier_deb="$artifacts/cuelark_${earlier}_$(dpkg-deb -f "$deb" Architecture).deb"
dpkg-deb --root-owner-group -Zxz -b "$artifacts/unpacked" "$earlier_deb" >/dev/null
rm -rf "$artifacts/unpacked"

# apt with its own configuration, sources, keys, lists, cache and package
# status (a copy of this machine's, so that the package's dependencies are met).
apt_root="$artifacts/apt"
mkdir -p "$apt_root"/{etc/apt.conf.d,etc/preferences.d,etc/sources.list.d,etc/trusted.gpg.d,state/lists/partial,cache/archives/partial,keyrings}
cp /var/lib/dpkg/status "$apt_root/status"
cat >"$apt_root/apt.conf" <<CONF
Dir::Etc "$apt_root/etc";
Dir::Etc::main "$apt_root/etc/apt.conf";
Dir::Etc::parts "$apt_root/etc/apt.conf.d";
Dir::Etc::sourcelist "$apt_root/etc/sources.list";
Dir::Etc::sourceparts "$apt_root/etc/sources.list.d";
Dir::Etc::trusted "$apt_root/etc/trusted.gpg";
Dir::Etc::trustedparts "$apt_root/etc/trusted.gpg.d";
Dir::Etc::preferences "$apt_root/etc/preferences";
Dir::Etc::preferencesparts "$apt_root/etc/preferences.d";
Dir::State "$apt_root/state";
Dir::State::status "$apt_root/status";
Dir::Cache "$apt_root/cache";
Debug::NoLocking "true";
APT::Sandbox::User "$(id -un)";
Acquire::Languages "none";
CONF
touch "$apt_root/etc/apt.conf"
export APT_CONFIG="$apt_root/apt.conf"
repo="$artifacts/repo"
keyring="$apt_root/keyrings/cuelark-archive-keyring.gpg"
# The two lines of the README, with the repository's folder for its address.
add_repository() {
    cp "$repo/cuelark-archive-keyring.gpg" "$keyring"
    echo "deb [signed-by=$keyring] file://$repo stable main" >"$apt_root/etc/sources.list.d/cuelark.list"
}
update() { apt-get update >"$artifacts/update-$1.log" 2>&1; }
candidate() { apt-cache policy cuelark | sed -n 's/^ *Candidate: //p'; }

"$root/scripts/apt-repo.sh" --sign-key "$release_key" "$repo" "$earlier_deb" >/dev/null ||
    fail "apt-repo.sh failed on the first release"
for file in Release InRelease Release.gpg; do
    [[ -s "$repo/dists/stable/$file" ]] || fail "the repository has no $file"
done
add_repository
update first || { cat "$artifacts/update-first.log" >&2; fail "apt-get update refused the first release"; }
[[ "$(candidate)" == "$earlier" ]] || { apt-cache policy cuelark >&2; fail "apt's candidate is not $earlier"; }
log "first release $earlier: apt's candidate"

"$root/scripts/apt-repo.sh" --sign-key "$release_key" "$repo" "$deb" >/dev/null ||
    fail "apt-repo.sh failed on the second release"
[[ "$(find "$repo/pool" -name '*.deb' | wc -l)" == 2 ]] || fail "the repository does not keep both releases"
update second || { cat "$artifacts/update-second.log" >&2; fail "apt-get update refused the second release"; }
apt-cache policy cuelark >"$artifacts/policy.txt"
[[ "$(candidate)" == "$version" ]] || { cat "$artifacts/policy.txt" >&2; fail "apt's candidate is not $version"; }
grep -qF "$earlier" "$artifacts/policy.txt" || fail "apt no longer lists $earlier"
apt-get -s install cuelark >"$artifacts/install.txt" 2>&1 || { cat "$artifacts/install.txt" >&2; fail "apt-get -s install"; }
grep -q "^Inst cuelark ($version " "$artifacts/install.txt" || { cat "$artifacts/install.txt" >&2; fail "apt would not install $version"; }
# With the earlier release installed, apt offers the second as its upgrade.
printf '\n%s\n' "$(dpkg-deb -f "$earlier_deb" Package Version Architecture Maintainer Installed-Size Depends Description |
    sed '1a Status: install ok installed')" >>"$apt_root/status"
apt-get -s upgrade >"$artifacts/upgrade.txt" 2>&1 || { cat "$artifacts/upgrade.txt" >&2; fail "apt-get -s upgrade"; }
grep -q "^Inst cuelark \[$earlier\] ($version " "$artifacts/upgrade.txt" ||
    { cat "$artifacts/upgrade.txt" >&2; fail "apt does not upgrade $earlier to $version"; }
log "second release $version: apt's candidate, and the upgrade of $earlier"

# Signed with another key than the one the user added: refused (on a machine
# with no earlier index, which apt would keep using).
"$root/scripts/apt-repo.sh" --sign-key "$other_key" "$repo" >/dev/null || fail "apt-repo.sh failed to re-sign"
find "$apt_root/state/lists" -maxdepth 1 -type f -delete
if update wrong-key; then
    cat "$artifacts/update-wrong-key.log" >&2
    fail "apt-get update accepted a repository signed with another key"
fi
grep -qE 'NO_PUBKEY|not signed|invalid signature' "$artifacts/update-wrong-key.log" ||
    { cat "$artifacts/update-wrong-key.log" >&2; fail "apt-get update failed, but not on the signature"; }
apt-cache policy cuelark >"$artifacts/policy-wrong-key.txt"
if grep -qF "$repo" "$artifacts/policy-wrong-key.txt"; then
    cat "$artifacts/policy-wrong-key.txt" >&2
    fail "apt offers cuelark from a repository signed with another key"
fi
log "signed with another key: refused ($(grep -oE 'NO_PUBKEY [0-9A-F]+' "$artifacts/update-wrong-key.log" | head -n1))"
log "PASS"
