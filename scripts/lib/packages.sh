# SPDX-License-Identifier: MIT
# Debian packages the project needs, and a function that installs the
# missing ones (through sudo when not root; without sudo it names them and
# fails). Sourced by scripts/test, scripts/demo and scripts/package.

ZV_BUILD_PACKAGES=(
  cmake g++ make pkg-config scdoc
  libplist-dev libpugixml-dev libsnmp-dev liburiparser-dev libsystemd-dev libseccomp-dev
)
# libglib2.0-dev: the build compiles examples/glib_dialog.c when it is there.
# locales: the file-name check is tested under a Latin-1 locale that
# localedef makes from its sources.
# strace: the file replacement test watches a save's flushes through it.
ZV_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev libglib2.0-dev
  snmpd snmp snmpsim systemd python3 util-linux procps man-db locales strace
)
# What scripts/fuzz needs: clang with libFuzzer and the sanitizer runtimes.
ZV_FUZZ_PACKAGES=(
  clang libclang-rt-14-dev
)
# What scripts/package needs besides the build packages: Debian's package
# tools and lintian. scripts/check-package needs only dpkg and python3.
ZV_PACKAGE_PACKAGES=(
  build-essential debhelper dpkg-dev fakeroot lintian scdoc python3
)
# What scripts/demo runs besides the build: the simulated printer (snmpd),
# snmpget to see it answer, python3 to find a free port.
ZV_DEMO_PACKAGES=(
  snmpd snmp python3
)

# zv_ensure_packages PKG...: installs those of PKG that are not installed.
zv_ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "Missing Debian packages: ${missing[*]}" >&2
      echo "Installing them takes root, and sudo is not there: as root run" >&2
      echo "  apt-get install ${missing[*]}" >&2
      return 1
    fi
    sudo=(sudo)
  fi
  echo "Installing missing Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
