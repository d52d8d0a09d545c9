# shellcheck shell=bash
# How the scripts configure their builds: scripts/demo.sh and scripts/test.sh
# share build/ (configure_build), so they must configure it alike or each would
# rebuild everything; scripts/package.sh and scripts/release.sh build the
# package for the real service in build-release/ (configure_release_build).

# The address the local stand-in service listens on; the app of the demo and
# test builds talks to it instead of the real service.
readonly stand_in_service_url=http://127.0.0.1:8787
# The real service: the default of CUELARK_SERVICE_URL in CMakeLists.txt.
readonly real_service_url=https://cuelark.app

# configure_cmake SOURCE BUILD [CMAKE_OPTION...]: a Ninja build, its compiles
# cached by ccache when it is installed.
configure_cmake() {
    local source="$1" build="$2"
    shift 2
    local launcher=()
    # Reuses earlier compiles across build directories and fresh checkouts.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$source" -B "$build" -G Ninja "${launcher[@]}" "$@" >/dev/null
}

# configure_build SOURCE BUILD [CMAKE_OPTION...]: the app talks to the stand-in.
configure_build() {
    local source="$1" build="$2"
    shift 2
    configure_cmake "$source" "$build" -DCUELARK_SERVICE_URL="$stand_in_service_url" "$@"
}

# configure_release_build SOURCE BUILD VERSION [CMAKE_OPTION...]: a Release
# build of the app at VERSION for the real service, without the test suites,
# compiled and linked with Debian's flags (dpkg-buildflags with hardening=+all:
# -O2, fortified functions, stack protector, PIE, full RELRO with bind-now).
# No debug information (-g): the package's program is stripped, so it would
# only cost compile time. Source paths are mapped to "." (-ffile-prefix-map).
configure_release_build() {
    local source="$1" build="$2" version="$3"
    shift 3
    local cppflags cxxflags ldflags
    buildflags() {
        (cd "$source" && DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g \
            dpkg-buildflags --get "$1")
    }
    cppflags="$(buildflags CPPFLAGS)"
    cxxflags="$(buildflags CXXFLAGS)"
    ldflags="$(buildflags LDFLAGS)"
    configure_cmake "$source" "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
        -DCUELARK_SERVICE_URL="$real_service_url" -DCUELARK_VERSION="$version" \
        -DCUELARK_BUILD_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" "$@"
}
