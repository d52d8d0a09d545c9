#!/usr/bin/env bash
# The desktop matrix: the app signed in on real desktop shells, each started
# headless with its own session, bar, tray and notification daemon, one after
# the other. Prints a table of every check on every desktop and fails when any
# check failed; screenshots and logs stay in OUT_DIR/<desktop>/.
#
#   tests/e2e/desktops/run.sh SERVICE_URL APP STAND_IN OUT_DIR [DESKTOP...]
#
# DESKTOP is xfce, sway-wayland, sway-xwayland, gnome, plasma or
# plasma-first-run (default: all). As
# root (where namespaces are allowed) it runs in a network namespace of its
# own, so that its stand-in never meets another one on the same loopback port.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
(($# >= 4)) || { echo "usage: $0 SERVICE_URL APP STAND_IN OUT_DIR [DESKTOP...]" >&2; exit 64; }
if (($(id -u) == 0)) && [[ -z "${CUELARK_MATRIX_NETNS:-}" ]] && unshare --net true 2>/dev/null; then
    exec env CUELARK_MATRIX_NETNS=1 unshare --net -- sh -c 'ip link set lo up && exec "$0" "$@"' \
        "$(readlink -f "$0")" "$@"
fi
service_url="$1" app="$(readlink -f "$2")" stand_in="$(readlink -f "$3")" out="$4"
shift 4
(($# > 0)) || set -- xfce sway-wayland sway-xwayland gnome plasma plasma-first-run
mkdir -p "$out"
out="$(cd "$out" && pwd)"

status=0
for desktop; do
    case "$desktop" in
        xfce | gnome) command=("$here/$desktop.sh") ;;
        sway-wayland | sway-xwayland) command=("$here/sway.sh" "${desktop#sway-}") ;;
        plasma) command=("$here/plasma.sh" wallet) ;;
        plasma-first-run) command=("$here/plasma.sh" first-run) ;;
        *) echo "unknown desktop: $desktop" >&2; exit 64 ;;
    esac
    started="$(date +%s)"
    echo "=== $desktop"
    "${command[@]}" "$service_url" "$app" "$stand_in" "$out/$desktop" >"$out/$desktop.log" 2>&1 ||
        { status=1; tail -n 40 "$out/$desktop.log"; }
    echo "    $(($(date +%s) - started)) s, log: $out/$desktop.log"
done

{
    printf '| desktop | check | result | seen |\n|---|---|---|---|\n'
    for desktop; do
        [[ -s "$out/$desktop/results.tsv" ]] || { printf '| %s | start | fail | see its log |\n' "$desktop"; continue; }
        awk -F'\t' -v d="$desktop" '{ printf "| %s | %s | %s | %s |\n", d, $1, $2, $3 }' "$out/$desktop/results.tsv"
    done
} | tee "$out/summary.md"
exit "$status"
