#!/usr/bin/env bash
# Sets up, builds and runs Corvane on a fresh Debian 12 machine.
#
#   ./build.sh tour                 build the library and run the example tour
#   ./build.sh test                 build everything and run the whole test suite
#   ./build.sh test asan            the same under AddressSanitizer + UBSan
#   ./build.sh test tsan            the same under ThreadSanitizer
#   ./build.sh test clang           the same built with clang 14
#   ./build.sh test windows         cross-build the DLL and run the suite under Wine
#   ./build.sh tour windows         cross-build and run the tour under Wine
#   ./build.sh bench                build the benchmarks (build/bench/...)
set -euo pipefail
cd "$(dirname "$0")"

action=${1:-test}
flavour=${2:-plain}

install_missing_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if ((${#missing[@]})); then
        echo "installing: ${missing[*]}"
        local sudo=""
        [[ $(id -u) -eq 0 ]] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"
    fi
}

configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCORVANE_WERROR=ON "$@" >/dev/null
}

# One private Wine prefix per build folder, made once, and one persistent
# wineserver for the whole run: without it every test program restarts
# Wine's services (seconds each). Only this prefix's server is stopped.
start_wine() {
    export WINEPREFIX=$PWD/$build_dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "making the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
    fi
    trap stop_wine EXIT
    wineserver -p 2>>"$build_dir/wineserver.log" </dev/null
    # Starts Wine's services outside ctest's output pipes.
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
}

stop_wine() {
    wineserver -k 2>/dev/null || true
}

jobs=$(nproc)
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev locales libc-bin)
case "$flavour" in
    plain) build_dir=build; options=() ;;
    asan) build_dir=build-asan; options=(-DCORVANE_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug) ;;
    tsan) build_dir=build-tsan; options=(-DCORVANE_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    clang)
        build_dir=build-clang
        options=(-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
        packages+=(clang-14)
        ;;
    windows)
        build_dir=build-windows
        # The subsystems that have a Win32 backend so far: widen this list as the
        # others land (text, sync, system, comm).
        win32_subsystems="common;value;fs"
        options=("-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64.cmake" "-DCORVANE_SUBSYSTEMS=$win32_subsystems")
        packages+=(g++-mingw-w64-x86-64-posix wine wine64 googletest)
        ;;
    *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
install_missing_packages "${packages[@]}"

case "$action" in
    tour)
        configure "$build_dir" "${options[@]}" -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_EXAMPLES=ON
        cmake --build "$build_dir" -j "$jobs" --target corvane_tour
        if [[ $flavour == windows ]]; then
            start_wine
            wine "$build_dir/bin/corvane_tour.exe"
        else
            "$build_dir/examples/corvane_tour"
        fi
        ;;
    test)
        configure "$build_dir" "${options[@]}" -DCORVANE_BUILD_TESTS=ON -DCORVANE_BUILD_EXAMPLES=ON
        cmake --build "$build_dir" -j "$jobs"
        [[ $flavour != windows ]] || start_wine
        ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j "$jobs"
        ;;
    bench)
        configure "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_BENCH=ON
        cmake --build "$build_dir" -j "$jobs"
        ;;
    *) echo "unknown action: $action" >&2; exit 2 ;;
esac
