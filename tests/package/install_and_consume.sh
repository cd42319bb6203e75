#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it the way a host application
# would: through find_package and through pkg-config, with nothing from the source tree.
# Usage: install_and_consume.sh <build dir> <c++ compiler> <version> <soversion> <libdir> <ninja>
set -euo pipefail
build="$1" cxx="$2" version="$3" soversion="$4" libdir="$5" make_program="$6"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillo-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "package: FAILED: $*" >&2; exit 1; }

# Up to date after a full build; builds what is installed when only the tests were built.
cmake --build "$build" -j 2 --target Common CommonShared Platform >/dev/null
cmake --install "$build" --prefix "$prefix" >/dev/null

# Headers: all under include/quillo/, none private, and together they compile against
# the installed tree alone (a public header including an uninstalled one fails here).
headers="$(cd "$prefix/include" && find . -type f -printf '%P\n' | sort)"
[ -n "$headers" ] || fail "no headers installed"
if grep -v '^quillo/' <<<"$headers"; then fail "headers outside include/quillo/"; fi
if grep '/internal/' <<<"$headers"; then fail "internal/ headers installed"; fi
while read -r private; do
  if grep -qx "quillo/$private" <<<"$headers"; then fail "private header $private installed"; fi
done <"$build/package/private-headers.txt"
sed 's|^quillo/\(.*\)$|#include "\1"|' <<<"$headers" >"$work/all_headers.cpp"
"$cxx" -std=c++20 -fsyntax-only -I"$prefix/include/quillo" "$work/all_headers.cpp" ||
  fail "installed headers do not compile on their own"

# The shared library: its SONAME, and only the public interface exported.
lib="$prefix/$libdir/libquillo-common.so"
soname="$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
[ "$soname" = "libquillo-common.so.$soversion" ] || fail "SONAME is '$soname'"
nm -D --defined-only -C "$lib" | cut -d' ' -f3- >"$work/exports.txt"
forbidden='^((vtable|typeinfo|typeinfo name|VTT|guard variable) for )?(Platform|Common)::detail::|curl_|Curl_|sqlite3|simdjson|fmt::|asio::'
if grep -E "$forbidden" "$work/exports.txt" | head -n 20; then
  fail "the shared library exports the symbols above"
fi
count() { grep -cE "$1" "$work/exports.txt" || true; }
echo "package: $(wc -l <"$work/exports.txt") symbols exported:" \
  "$(count '^((vtable|typeinfo|typeinfo name|VTT|guard variable|non-virtual thunk to) for )?Common::') Common::," \
  "$(count '^((vtable|typeinfo|typeinfo name|VTT|guard variable|non-virtual thunk to) for )?Platform::') Platform::," \
  "$(count '^((vtable|typeinfo|typeinfo name|guard variable) for )?std::') std:: template instances"

# find_package: the shared and the static library.
cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_MAKE_PROGRAM="$make_program" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" -DEXPECTED_VERSION="$version" >/dev/null ||
  fail "find_package(QuilloCommon) consumer did not configure"
cmake --build "$work/consumer" -j 2 >/dev/null || fail "find_package consumer did not build"
readelf -d "$work/consumer/consumer" | grep -q "NEEDED.*\[libquillo-common.so.$soversion\]" ||
  fail "consumer does not load libquillo-common.so.$soversion"
if readelf -d "$work/consumer/consumer-static" | grep -q "NEEDED.*libquillo-common"; then
  fail "consumer-static loads the shared library"
fi
"$work/consumer/consumer"
"$work/consumer/consumer-static"

# pkg-config, the shared library.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
[ "$(pkg-config --modversion quillo-common)" = "$version" ] || fail "pkg-config version"
# shellcheck disable=SC2046 # the flags are meant to split
"$cxx" -std=c++20 -DEXPECTED_VERSION="\"$version\"" "$here/consumer/main.cpp" -o "$work/consumer-pc" \
  $(pkg-config --cflags --libs quillo-common) -Wl,-rpath,"$(pkg-config --variable=libdir quillo-common)" ||
  fail "pkg-config consumer did not build"
"$work/consumer-pc"
echo "package: installed, consumed through find_package (shared, static) and pkg-config"
