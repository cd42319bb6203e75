# shellcheck shell=bash
# Sourced by setup.sh and bench.sh: installs the Debian packages that are missing, or,
# without the rights to, names them and the command that installs them.

# Set by install_packages: the prefix for commands that need root ("sudo" or nothing).
as_root=()

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# install_packages <who> <package>...
# With APT_NO_SERVICE_START=1, packages that bring a system service install without
# starting it (a temporary policy-rc.d, when the machine has none of its own).
install_packages() {
  local who="$1"
  shift
  local missing
  mapfile -t missing < <(missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0

  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "$who: these Debian packages are missing: ${missing[*]}" >&2
      echo "$who: installing them needs root; as root run" >&2
      echo "    apt-get install -y ${missing[*]}" >&2
      echo "$who: (or install sudo and add $(id -un) to the sudo group), then run this again." >&2
      return 1
    fi
    as_root=(sudo)
  fi

  echo "$who: installing ${#missing[@]} Debian packages with apt-get; this takes a few minutes:"
  echo "    ${missing[*]}"
  local policy=/usr/sbin/policy-rc.d placed_policy=0
  if [ "${APT_NO_SERVICE_START:-0}" = 1 ] && [ ! -e "$policy" ]; then
    # Removed however this script ends: left behind, it would stop every later
    # installation on the machine from starting its services.
    trap '"${as_root[@]}" rm -f /usr/sbin/policy-rc.d' EXIT
    trap 'exit 130' INT TERM
    printf '#!/bin/sh\n# Placed by scripts/apt.sh while it installs packages.\nexit 101\n' |
      "${as_root[@]}" tee "$policy" >/dev/null && "${as_root[@]}" chmod 755 "$policy" && placed_policy=1
  fi
  local status=0
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || status=$?
  if [ "$placed_policy" = 1 ]; then
    "${as_root[@]}" rm -f "$policy"
    trap - EXIT INT TERM
  fi
  if [ "$status" -ne 0 ]; then
    echo "$who: apt-get failed (status $status)" >&2
    return "$status"
  fi
  echo "$who: installed"
}
