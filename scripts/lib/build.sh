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

# configure_release_build SOURCE BUILD VERSION [CMAKE_OPTION...]: the app at
# VERSION for the real service, without the test suites, compiled and linked
# with Debian's hardening flags (dpkg-buildflags with hardening=+all: fortified
# functions, stack protector, PIE, full RELRO with bind-now). Source paths are
# mapped to "." (-ffile-prefix-map), so the program names no build folder.
configure_release_build() {
    local source="$1" build="$2" version="$3"
    shift 3
    local cppflags cxxflags ldflags
    cppflags="$(cd "$source" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)"
    cxxflags="$(cd "$source" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)"
    ldflags="$(cd "$source" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)"
    configure_cmake "$source" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCUELARK_SERVICE_URL="$real_service_url" -DCUELARK_VERSION="$version" \
        -DCUELARK_BUILD_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" "$@"
}
