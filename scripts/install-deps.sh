#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent:
# when everything is present it only checks and returns.
set -euo pipefail

need_pkgs=(cmake make g++ googletest libgtest-dev libgmock-dev
           g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
           wine wine32:i386 wine64 fonts-wine xvfb x11-apps imagemagick wixl
           dpkg-dev python3 xauth clang libclang-rt-14-dev libssl-dev
           libbenchmark-dev libxml2-utils osslsigncode openssl
           icoutils python3-pefile)

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sources=/etc/apt/sources.list.d/debian.sources
need_src=0
if [ -f "$sources" ] && ! grep -q '^Types:.*deb-src' "$sources"; then need_src=1; fi

if [ ${#missing[@]} -gt 0 ] || [ "$need_src" = 1 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "install-deps: missing packages (${missing[*]}); run as root" >&2
    exit 1
  fi
  if [ "$need_src" = 1 ]; then
    sed -i 's/^Types: deb$/Types: deb deb-src/' "$sources"
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync can serve one stale index (seen: the i386
  # security index). Then the 32-bit and 64-bit halves of a multi-arch
  # library disagree on versions and Wine cannot be installed; the release's
  # own suite is consistent in itself, so the install is tried once more
  # with it preferred.
  updated=1
  apt-get update -qq || updated=0
  if [ ${#missing[@]} -gt 0 ]; then
    if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
      [ "$updated" = 0 ] || exit 1
      release=$(. /etc/os-release && echo "$VERSION_CODENAME")
      echo "install-deps: some package indexes could not be refreshed; installing from $release itself" >&2
      apt-get install -y -qq --no-install-recommends -t "$release" "${missing[@]}" >/dev/null
    fi
  fi
fi

# TinyXML 2.6.2 from Debian's source package, with Debian's patches, into an
# ignored folder. The enforce-STL patch is reversed: the plain mode keeps the
# program small.
here=$(cd "$(dirname "$0")/.." && pwd)
dest="$here/third_party/tinyxml"
if [ ! -f "$dest/.ready" ]; then
  work=$(mktemp -d)
  ( cd "$work"
    if ! apt-get source --download-only tinyxml >/dev/null 2>&1; then
      apt-get update -qq || true
      apt-get source --download-only tinyxml >/dev/null
    fi
    dpkg-source -x tinyxml_*.dsc src >/dev/null
    cd src
    patch -R -p1 -s < debian/patches/enforce-use-stl.patch )
  rm -rf "$dest"
  mkdir -p "$dest"
  cp "$work"/src/{tinyxml.cpp,tinyxml.h,tinyxmlerror.cpp,tinyxmlparser.cpp,tinystr.cpp,tinystr.h} "$dest"/
  touch "$dest/.ready"
  rm -rf "$work"
fi

# Wine starts 32-bit Windows programs through a 32-bit Linux loader. Some
# virtual machines run 64-bit user code only (the kernel refuses i386
# binaries); there the loader runs under qemu's user-mode emulation,
# registered for i386 binaries. The release's qemu 7.2 needs about a minute
# to start each 32-bit Wine process (its search for free address space), the
# backported 10.0 a quarter of a second, so the backport is taken.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    if [ "$(id -u)" != 0 ]; then
      echo "install-deps: this kernel cannot run i386 binaries; run as root to set up their emulation" >&2
      exit 1
    fi
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    if ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || echo 0)" ge 1:8; then
      backports=/etc/apt/sources.list.d/$release-backports.sources
      if [ ! -f "$backports" ]; then
        printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
          "$(sed -n 's/^URIs: //p' /etc/apt/sources.list.d/debian.sources | head -n 1)" "$release" > "$backports"
      fi
      export DEBIAN_FRONTEND=noninteractive
      apt-get update -qq || true
      apt-get install -y -qq --no-install-recommends -t "$release-backports" qemu-user-static >/dev/null
    fi
    [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    qemu=$(command -v qemu-i386-static || command -v qemu-i386)
    printf ':qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:FP' \
      "$(readlink -f "$qemu")" > /proc/sys/fs/binfmt_misc/register
  fi
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "install-deps: i386 binaries still cannot run; Wine cannot start Setup.exe here" >&2
    exit 1
  fi
fi
