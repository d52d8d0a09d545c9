# shellcheck shell=bash
# The start every end-to-end script shares. Source it with `root` set to the
# checkout.

# e2e_start MIN_ARGS USAGE "$@": checks the argument count, then re-runs the
# calling script inside a private desktop session (scripts/with-session.sh:
# its own D-Bus, keyring and home) unless it runs in one already.
e2e_start() {
    local min="$1" usage="$2"
    shift 2
    (($# >= min)) || { echo "usage: $0 $usage" >&2; exit 64; }
    [[ -n "${CUELARK_TEST_SESSION:-}" ]] || exec "$root/scripts/with-session.sh" "$(readlink -f "$0")" "$@"
}

# e2e_artifacts DIR: empties DIR (making it if needed) and prints its full path.
e2e_artifacts() {
    mkdir -p "$1"
    (cd "$1" && find . -mindepth 1 -delete && pwd)
}

# e2e_desktop_test DEFAULT_DIR SERVICE_URL APP STAND_IN [ARTIFACT_DIR]: the
# start of a test of the app on the headless desktop
# (scripts/lib/headless-desktop.sh, sourced first): e2e_start, the stand-in's
# address checked, then app, stand_in and artifacts (an emptied ARTIFACT_DIR,
# by default DEFAULT_DIR) set.
e2e_desktop_test() {
    local default_dir="$1"
    shift
    e2e_start 3 "SERVICE_URL APP STAND_IN [ARTIFACT_DIR]" "$@"
    desktop_use_service_url "$1"
    app="$(readlink -f "$2")"
    stand_in="$(readlink -f "$3")"
    artifacts="$(e2e_artifacts "${4:-$default_dir}")"
}
