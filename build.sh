#!/usr/bin/env bash
# Sets up, builds and runs Corvane on a fresh Debian 12 machine.
#
#   ./build.sh tour                 build the library and run the example tour
#   ./build.sh test                 build everything and run the whole test suite
#   ./build.sh test asan            the same under AddressSanitizer + UBSan
#   ./build.sh test tsan            the same under ThreadSanitizer
#   ./build.sh test clang           the same built with clang 14
#   ./build.sh test windows         cross-build the DLL and run the suite under Wine
#   ./build.sh test FLAVOUR labels  any flavour (plain too), only the tests whose label matches the
#                                   regular expression (a subsystem's folder, fuzz-replay, ...)
#   ./build.sh test valgrind        the suite under valgrind memcheck
#   ./build.sh tour windows         cross-build and run the tour under Wine
#   ./build.sh bench                build the benchmarks (build-bench/bench/...)
#   ./build.sh bench windows        cross-build the benchmarks (build-windows-bench/bin/)
#   ./build.sh bench windows run [PROGRAM...]
#                                   and run them under Wine, with the ratios
#   ./build.sh fuzz [seconds]       build the fuzz targets with clang and libFuzzer, run each in turn
#   ./build.sh package              build the Debian packages and test them
#   ./build.sh package windows      build the Windows zip
#   ./build.sh docs                 build the reference from the headers (build/docs/html)
#   ./build.sh help                 print this text
set -euo pipefail
cd "$(dirname "$0")"

action=${1:-test}
flavour=${2:-plain}
[[ $action != fuzz ]] || flavour=plain

usage() {
    sed -n '2,/^set -euo/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
}
case "$action" in
    tour | test | bench | package | docs | fuzz) ;;
    help | -h | --help) usage; exit 0 ;;
    *) echo "unknown action: $action" >&2; usage >&2; exit 2 ;;
esac

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

# Each command states what it needs, whatever an earlier one left in the
# cache: every subsystem, benchmarks off unless asked for. Warnings stop the
# build only where CORVANE_WERROR=ON says so (CI does): a newer compiler of
# a user's may warn where ours does not. CMake's output shows on failure.
configure() {
    local dir=$1
    shift
    local log
    log=$(mktemp)
    if ! cmake -S . -B "$dir" -DCORVANE_WERROR="${CORVANE_WERROR:-OFF}" -UCORVANE_SUBSYSTEMS \
        -DCORVANE_BUILD_BENCH=OFF "$@" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        exit 1
    fi
    rm -f "$log"
}

# One private Wine prefix per build folder, made once, and one persistent
# wineserver for the whole run: without it every test program restarts
# Wine's services (seconds each). Only this prefix's server is stopped.
start_wine() {
    export WINEPREFIX=$PWD/$build_dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "making the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        # wineboot's own server saves the new prefix and ends a few seconds later.
        wineserver -w
    fi
    trap stop_wine EXIT
    # A server still up for this prefix (a run that was killed) serves as well.
    wineserver -p 2>>"$build_dir/wineserver.log" </dev/null ||
        echo "a wineserver was already running for $WINEPREFIX"
    # Starts Wine's services outside ctest's output pipes.
    wine cmd /c exit 0 >/dev/null 2>&1 </dev/null
}

stop_wine() {
    wineserver -k 2>/dev/null || true
}

jobs=$(nproc)
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev locales libc-bin dpkg-dev pkg-config python3)
case "$flavour" in
    plain) build_dir=build; options=() ;;
    asan) build_dir=build-asan; options=(-DCORVANE_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug) ;;
    tsan) build_dir=build-tsan; options=(-DCORVANE_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    clang)
        build_dir=build-clang
        options=(-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
        packages+=(clang-14)
        ;;
    valgrind)
        # CTest runs each program of a native build through the emulator, so
        # every test runs under memcheck. Some tests count the library's
        # allocations with an operator new of their own: memcheck leaves it
        # in place and checks the malloc under it.
        [[ $action == test ]] || { echo "valgrind runs the tests only: ./build.sh test valgrind" >&2; exit 2; }
        build_dir=build-valgrind
        memcheck="valgrind;--error-exitcode=1;--leak-check=full;--soname-synonyms=somalloc=nouserintercepts"
        memcheck+=";--suppressions=$PWD/tools/valgrind.supp;--quiet"
        options=("-DCMAKE_CROSSCOMPILING_EMULATOR=$memcheck")
        packages+=(valgrind)
        ;;
    windows)
        build_dir=build-windows
        options=("-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64.cmake")
        packages+=(g++-mingw-w64-x86-64-posix wine wine64 googletest)
        ;;
    *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
[[ $action != docs ]] || packages+=(doxygen)
[[ $action != fuzz ]] || packages+=(clang-14 libclang-rt-14-dev)
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
        selection=()
        [[ -z ${3:-} ]] || selection=(-L "$3")
        # Memcheck runs the vfork-like clone of posix_spawn as a plain fork, so
        # a child's failed exec never reaches the parent: that one test cannot
        # pass under it.
        [[ $flavour != valgrind ]] || selection+=(-E '^RunApplication\.FalseWhenTheProgramCannotStart$')
        ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j "$jobs" "${selection[@]}"
        ;;
    fuzz)
        # Each target in turn for the given seconds, growing a working corpus
        # seeded from the checked-in one; inputs that fail land in findings/.
        build_dir=build-fuzz
        seconds=${2:-60}
        configure "$build_dir" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
            -DCORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
        cmake --build "$build_dir" -j "$jobs"
        mkdir -p "$build_dir/findings"
        for seeds in fuzz/corpus/*/; do
            target=$(basename "$seeds")
            mkdir -p "$build_dir/corpus/$target"
            echo "== $target: $seconds s"
            "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -close_fd_mask=1 \
                -print_final_stats=1 -artifact_prefix="$build_dir/findings/$target-" \
                "$build_dir/corpus/$target" "$seeds" 2>"$build_dir/$target.log" ||
                { tail -n 40 "$build_dir/$target.log"; exit 1; }
            grep -a 'DONE' "$build_dir/$target.log" | tail -n 1
        done
        ;;
    bench)
        build_dir=$build_dir-bench
        bench_options=()
        # Debian ships Google Benchmark for Linux only: built once per build folder.
        [[ $flavour != windows ]] ||
            bench_options=("${options[@]}" "-DCMAKE_PREFIX_PATH=$(tools/mingw-benchmark "$build_dir/benchmark")")
        configure "$build_dir" "${bench_options[@]}" -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_BENCH=ON \
            -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_EXAMPLES=OFF
        cmake --build "$build_dir" -j "$jobs"
        if [[ $flavour == windows && ${3:-} == run ]]; then
            start_wine
            tools/run-wine-bench "$build_dir" "${@:4}"
        fi
        ;;
    docs)
        # Warnings are errors: an undocumented public declaration fails.
        mkdir -p "$build_dir/docs"
        CORVANE_DOCS_OUTPUT=$PWD/$build_dir/docs doxygen docs/Doxyfile
        echo "reference: $build_dir/docs/html/index.html"
        ;;
    package)
        build_dir=$build_dir-package
        configure "$build_dir" "${options[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
            -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_EXAMPLES=OFF
        cmake --build "$build_dir" -j "$jobs"
        (cd "$build_dir" && cpack -B "$PWD/packages" >/dev/null)
        ls "$build_dir"/packages/*.{deb,zip} 2>/dev/null || true
        [[ $flavour == windows ]] ||
            tests/install/check_packages.sh "$build_dir/packages" "$build_dir/package-check"
        ;;
esac
