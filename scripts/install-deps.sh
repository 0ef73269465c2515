#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Idempotent:
# when everything is present it only checks and returns.
set -euo pipefail

need_pkgs=(cmake make g++ googletest libgtest-dev libgmock-dev
           g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
           wine wine32:i386 wine64 xvfb x11-apps imagemagick wixl
           dpkg-dev python3 xauth clang libclang-rt-14-dev libssl-dev
           libbenchmark-dev libxml2-utils)

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
  apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
      apt-get update -qq && apt-get source --download-only tinyxml >/dev/null
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
