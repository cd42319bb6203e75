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
# Runs a step with its output kept aside, shown only when the step fails.
quietly() {  # <what failed> <command...>
  local what="$1"
  shift
  "$@" >"$work/step.log" 2>&1 || { tail -n 40 "$work/step.log" >&2; fail "$what"; }
}

# Up to date after a full build; builds what is installed when only the tests were built.
quietly "build" cmake --build "$build" -j 2 --target Common CommonShared Platform
quietly "install" cmake --install "$build" --prefix "$prefix"

# Headers: all under include/quillo/, none private, and together they compile against
# the installed tree alone (a public header including an uninstalled one fails here).
headers="$(cd "$prefix/include" && find . -type f -printf '%P\n' | sort)"
[ -n "$headers" ] || fail "no headers installed"
if grep -v '^quillo/' <<<"$headers"; then fail "headers outside include/quillo/"; fi
if grep '/internal/' <<<"$headers"; then fail "internal/ headers installed"; fi
sed 's|^quillo/\(.*\)$|#include "\1"|' <<<"$headers" >"$work/all_headers.cpp"
"$cxx" -std=c++20 -fsyntax-only -I"$prefix/include/quillo" "$work/all_headers.cpp" ||
  fail "installed headers do not compile on their own"

# The shared library: its SONAME, and only the public interface exported.
lib="$prefix/$libdir/libquillo-common.so"
soname="$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
[ "$soname" = "libquillo-common.so.$soversion" ] || fail "SONAME is '$soname'"
nm -D --defined-only -C "$lib" | cut -d' ' -f3- |
  sed -E 's/^((typeinfo name|typeinfo|vtable|VTT|guard variable) for |(non-)?virtual thunk to )//' >"$work/exports.txt"
if grep -vE '^(Common|Platform)::' "$work/exports.txt" | head -n 20 | grep .; then
  fail "the shared library exports the symbols above, outside Common:: and Platform::"
fi
if grep -E '^(Common|Platform)::detail::|curl_|sqlite3_|simdjson|asio::|fmt::' "$work/exports.txt" | head -n 20; then
  fail "the shared library exports the internals above"
fi
echo "package: $(wc -l <"$work/exports.txt") symbols exported:" \
  "$(grep -c '^Common::' "$work/exports.txt") Common::, $(grep -c '^Platform::' "$work/exports.txt") Platform::," \
  "none from detail::, libcurl, SQLite, simdjson, fmt, Asio or the standard library"

# find_package: the shared and the static library.
quietly "find_package(QuilloCommon) consumer did not configure" \
  cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_MAKE_PROGRAM="$make_program" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" -DEXPECTED_VERSION="$version"
quietly "find_package consumer did not build" cmake --build "$work/consumer" -j 2
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
