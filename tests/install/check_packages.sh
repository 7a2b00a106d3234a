#!/usr/bin/env bash
# Unpacks the Debian packages in PACKAGES into a scratch root and builds the
# consumer program against them twice, as users do: with find_package and
# with pkg-config. Both programs must run against the unpacked library.
#
#   tests/install/check_packages.sh PACKAGES WORK
set -euo pipefail
packages=$(realpath "$1")
work=$2
source_dir=$(dirname "$(realpath "$0")")

rm -rf "$work"
mkdir -p "$work/root"
for deb in "$packages"/*.deb; do
    dpkg-deb -x "$deb" "$work/root"
done
root=$(realpath "$work/root")
libdir=$(dirname "$(find "$root" -name 'corvane.pc' -printf '%h')")

cmake -S "$source_dir" -B "$work/find_package" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/find_package" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/find_package/consumer"

flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs corvane)
# shellcheck disable=SC2086 # the flags are separate words
cc -std=c99 -o "$work/pkg_config_consumer" "$source_dir/../value/road_test.c" $flags
LD_LIBRARY_PATH=$libdir "$work/pkg_config_consumer"

# The runtime package alone carries the library and its SONAME link.
# Listed whole first: grep -q stops reading at the first match, and the
# listing's tar, cut off, would fail the pipeline.
listing=$(dpkg-deb -c "$packages"/libcorvane0_*.deb)
grep -q 'libcorvane.so.0 ->' <<<"$listing"
echo "packages: find_package and pkg-config consumers built and ran"
rm -rf "$work"
