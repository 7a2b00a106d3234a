#!/usr/bin/env bash
# Sets up, builds and runs Corvane on a fresh Debian 12 machine.
#
#   ./build.sh tour                 build the library and run the example tour
#   ./build.sh test                 build everything and run the whole test suite
#   ./build.sh test asan            the same under AddressSanitizer + UBSan
#   ./build.sh test tsan            the same under ThreadSanitizer
#   ./build.sh bench                build the benchmarks (build/bench/...)
set -euo pipefail
cd "$(dirname "$0")"

action=${1:-test}
flavour=${2:-plain}

install_missing_packages() {
    local wanted=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev locales libc-bin)
    local missing=()
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if ((${#missing[@]})); then
        echo "installing: ${missing[*]}"
        local sudo=""
        [[ $(id -u) -eq 0 ]] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
    fi
}

configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCORVANE_WERROR=ON "$@" >/dev/null
}

jobs=$(nproc)
install_missing_packages

case "$flavour" in
    plain) build_dir=build; options=() ;;
    asan) build_dir=build-asan; options=(-DCORVANE_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug) ;;
    tsan) build_dir=build-tsan; options=(-DCORVANE_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

case "$action" in
    tour)
        configure "$build_dir" "${options[@]}" -DCORVANE_BUILD_TESTS=OFF
        cmake --build "$build_dir" -j "$jobs" --target corvane_tour
        "$build_dir/examples/corvane_tour"
        ;;
    test)
        configure "$build_dir" "${options[@]}"
        cmake --build "$build_dir" -j "$jobs"
        ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
        ;;
    bench)
        configure "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_BENCH=ON
        cmake --build "$build_dir" -j "$jobs"
        ;;
    *) echo "unknown action: $action" >&2; exit 2 ;;
esac
