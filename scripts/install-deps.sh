#!/usr/bin/env bash
# Installs what the build, the simulated board and the tests need.
# Does nothing when everything is already there. Debian 12, as root.
set -eu

PKGS=(
  build-essential cmake ninja-build pkg-config git
  googletest libgtest-dev libgmock-dev
  libfdk-aac-dev libx264-dev libturbojpeg0-dev
  ffmpeg python3 curl
  dosfstools e2fsprogs util-linux mount iproute2 strace
  g++-arm-linux-gnueabihf qemu-user
  u-boot-tools
  clang libclang-rt-14-dev chromium
  gpsbabel python3-nmea2
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

echo "install-deps: installing ${missing[*]}"

# fdk-aac lives in Debian's non-free component: enable it where it is missing.
enable_non_free() {
  local changed=0 f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    if grep -q '^Components:' "$f" && grep '^Components:' "$f" | grep -vqE '(^|[[:space:]])non-free([[:space:]]|$)'; then
      $SUDO sed -i -E '/^Components:/{/(^|[[:space:]])non-free([[:space:]]|$)/!s/$/ non-free/}' "$f"
      changed=1
    fi
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    if grep -qE '^deb[[:space:]]' "$f" && grep -E '^deb[[:space:]]' "$f" | grep -vqE '[[:space:]]non-free([[:space:]]|$)'; then
      $SUDO sed -i -E '/^deb[[:space:]]/{/[[:space:]]non-free([[:space:]]|$)/!s/$/ non-free/}' "$f"
      changed=1
    fi
  done
  return 0
}

enable_non_free
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
