# shellcheck shell=bash
# How scripts/demo.sh and scripts/test.sh configure their builds. Both share
# build/, so they must configure it alike or each would rebuild everything.

# The address the local stand-in service listens on; the app of these builds
# talks to it instead of the real service.
readonly stand_in_service_url=http://127.0.0.1:8787

# configure_build SOURCE BUILD [CMAKE_OPTION...]
configure_build() {
    local source="$1" build="$2"
    shift 2
    local launcher=()
    # Reuses earlier compiles across build directories and fresh checkouts.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$source" -B "$build" -G Ninja "${launcher[@]}" \
        -DCUELARK_SERVICE_URL="$stand_in_service_url" "$@" >/dev/null
}
