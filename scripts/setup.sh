#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need; the benchmarks
# install their own (scripts/bench.sh). Idempotent: packages already there are skipped.
# Runs as root, or as a user with sudo; otherwise it names what to install.
set -euo pipefail
cd "$(dirname "$0")"
# shellcheck source=scripts/apt.sh
source ./apt.sh

packages=(
  build-essential cmake ninja-build pkg-config git
  clang-14 libclang-rt-14-dev
  libcurl4-openssl-dev libsimdjson-dev nlohmann-json3-dev libfmt-dev libssl-dev
  libsqlite3-dev libsqlitecpp-dev libasio-dev libcpp-httplib-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
  gettext jq
  libsecret-1-dev libsystemd-dev dbus-daemon dbus-bin gnome-keyring libglib2.0-bin
)

install_packages setup "${packages[@]}"
