#!/usr/bin/env bash
# Builds the libraries the box needs for 32-bit PowerPC from Debian's source
# packages into a sysroot outside the clone, and prints its folder.
#
# Debian 12 serves no powerpc binary packages, so zlib, libpng, FreeType,
# tinyxml2, libsigc++ 3 (trixie's 3.6.0: bookworm's tarball is not served),
# nlohmann-json, GoogleTest and Google Benchmark are built here. The sysroot
# also holds the cross C library and a big-endian C.UTF-8 locale, so that
# qemu-ppc -L SYSROOT runs what is built against it.
#
# The result is cached in $VANTREL_PPC_CACHE (default /var/cache/vantrel-ppc)
# under the hash of this recipe and the toolchain file: a changed recipe builds
# a new sysroot, an unchanged one is reused. It is built in a temporary folder
# and renamed into place only when whole.
#
# Also installs the cross compilers and qemu-user (only qemu from
# bookworm-backports: Debian 12's qemu 7.2 dies on glibc's cos() with SIGILL).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
toolchain="$here/cmake/powerpc-linux-gnu.cmake"
cache="${VANTREL_PPC_CACHE:-/var/cache/vantrel-ppc}"
jobs="${VANTREL_PPC_JOBS:-2}"
say() { echo "ppc-sysroot: $*" >&2; }
die() { say "$*"; exit 1; }

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

# Sources, and the pin that keeps everything but qemu-user off backports.
setup_apt() {
  local sources=/etc/apt/sources.list.d/vantrel-ppc.sources prefs=/etc/apt/preferences.d/vantrel-ppc
  local want_sources want_prefs
  want_sources='Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg'
  want_prefs='Package: *
Pin: release n=bookworm-backports
Pin-Priority: -1

Package: qemu-user
Pin: release n=bookworm-backports
Pin-Priority: 990'
  local changed=0
  if [ "$(cat "$sources" 2>/dev/null)" != "$want_sources" ]; then
    printf '%s\n' "$want_sources" | $sudo tee "$sources" >/dev/null
    changed=1
  fi
  if [ "$(cat "$prefs" 2>/dev/null)" != "$want_prefs" ]; then
    printf '%s\n' "$want_prefs" | $sudo tee "$prefs" >/dev/null
    changed=1
  fi
  if ((changed)) || [ -z "$(apt-cache showsrc zlib 2>/dev/null)" ]; then
    say "apt-get update (deb-src and bookworm-backports)"
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -q >/dev/null || die "apt-get update failed"
  fi
}

install_tools() {
  local missing=() p
  for p in g++-powerpc-linux-gnu binutils-powerpc-linux-gnu libc6-dev-powerpc-cross dpkg-dev cmake ninja-build \
    pkg-config locales; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  # qemu-user must be the backported one (10.x), not Debian 12's 7.2.
  case "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" in
    *bpo12*) ;;
    *) missing+=(qemu-user) ;;
  esac
  if ((${#missing[@]})); then
    setup_apt
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends \
      "${missing[@]}" >/dev/null || die "apt-get install ${missing[*]} failed"
  fi
}

# The source packages: NAME/SUITE.
sources=(zlib/bookworm libpng1.6/bookworm freetype/bookworm tinyxml2/bookworm libsigc++-3.0/trixie
  nlohmann-json3/bookworm googletest/bookworm benchmark/bookworm)

recipe_hash() {
  { cat "$0" "$toolchain"; powerpc-linux-gnu-g++ --version 2>/dev/null | head -1; } | sha256sum | cut -c1-16
}

cmake_build() {  # SRC_DIR NAME [CMAKE ARGS...]
  local src="$1" name="$2"
  shift 2
  cmake -S "$src" -B "$work/build-$name" -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DVANTREL_PPC_SYSROOT="$stage" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=ON "$@" >"$work/log-$name-configure.txt" 2>&1 ||
    die "$name: configure failed (see $work/log-$name-configure.txt)"
  cmake --build "$work/build-$name" -j "$jobs" >"$work/log-$name-build.txt" 2>&1 ||
    die "$name: build failed (see $work/log-$name-build.txt)"
  DESTDIR="$stage" cmake --install "$work/build-$name" >"$work/log-$name-install.txt" 2>&1 ||
    die "$name: install failed (see $work/log-$name-install.txt)"
}

# Unpacks a source package with its Debian patches; where the archive serves
# the upstream tarball alone (trixie's libsigc++), the tarball apt checked.
fetch_source() {
  local s="$1" name="${1%%/*}" log="$work/log-source-${1%%/*}.txt" dl="$work/dl-${1%%/*}"
  mkdir -p "$dl"
  (cd "$dl" && apt-get source -q --download-only "$s") >"$log" 2>&1 || true
  local dsc tarball
  dsc="$(find "$dl" -name "${name}_*.dsc" | head -1)"
  if [ -n "$dsc" ] && [ "$(find "$dl" -name "${name}_*.debian.tar.*" | wc -l)" -gt 0 ]; then
    (cd "$work/src" && dpkg-source --no-check -x "$dsc") >>"$log" 2>&1 || die "cannot unpack $s (see $log)"
    return
  fi
  tarball="$(find "$dl" -name "${name}_*.orig.tar.*" | head -1)"
  [ -n "$tarball" ] || die "apt-get source $s fetched no source (see $log)"
  tar -xf "$tarball" -C "$work/src" || die "cannot unpack $tarball"
}

src_dir() { find "$work/src" -mindepth 1 -maxdepth 1 -type d -name "$1*" | head -1; }

build_sysroot() {
  mkdir -p "$work/src" "$stage/lib" "$stage/usr/lib"
  setup_apt
  local s
  say "fetching ${sources[*]}"
  for s in "${sources[@]}"; do fetch_source "$s"; done
  # The cross C library, as the guest's /lib.
  cp -a /usr/powerpc-linux-gnu/lib/. "$stage/lib/"

  # zlib's dfsg tarball lacks a file its CMake build needs: its own configure.
  say "building zlib"
  (cd "$(src_dir zlib-)" && CHOST=powerpc-linux-gnu CC=powerpc-linux-gnu-gcc CFLAGS=-O2 ./configure --prefix=/usr \
    --libdir=/usr/lib >"$work/log-zlib.txt" 2>&1 && make -j "$jobs" >>"$work/log-zlib.txt" 2>&1 &&
    make install DESTDIR="$stage" >>"$work/log-zlib.txt" 2>&1) || die "zlib failed (see $work/log-zlib.txt)"
  say "building libpng"
  cmake_build "$(src_dir libpng)" libpng -DPNG_HARDWARE_OPTIMIZATIONS=OFF -DPNG_TESTS=OFF -DPNG_STATIC=OFF \
    -DPNG_EXECUTABLES=OFF
  say "building FreeType"
  cmake_build "$(src_dir freetype-)" freetype -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
    -DFT_REQUIRE_ZLIB=ON -DFT_REQUIRE_PNG=ON
  say "building tinyxml2"
  cmake_build "$(src_dir tinyxml2-)" tinyxml2 -Dtinyxml2_BUILD_TESTING=OFF -DBUILD_TESTING=OFF
  say "building libsigc++"
  cmake_build "$(src_dir libsigc++-)" sigc -DSIGCXX_DISABLE_DEPRECATED=OFF -DBUILD_TESTING=OFF
  say "building nlohmann-json"
  cmake_build "$(src_dir nlohmann-json3-)" json -DJSON_BuildTests=OFF
  say "building GoogleTest"
  cmake_build "$(src_dir googletest-)" googletest -DBUILD_GMOCK=ON
  say "building Google Benchmark"
  local bench
  bench="$(src_dir benchmark-)"
  cmake_build "$bench" benchmark -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
    -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LTO=OFF -DGIT_VERSION="v${bench##*/benchmark-}"

  # Without a big-endian locale the guest's setlocale fails and gettext
  # shows untranslated texts.
  say "making the big-endian C.UTF-8 locale"
  mkdir -p "$stage/usr/lib/locale"
  localedef --big-endian -c -i C -f UTF-8 "$stage/usr/lib/locale/C.utf8" >"$work/log-locale.txt" 2>&1 ||
    [ -f "$stage/usr/lib/locale/C.utf8/LC_CTYPE" ] || die "localedef failed (see $work/log-locale.txt)"
}

install_tools
hash="$(recipe_hash)"
sysroot="$cache/$hash"
if [ -f "$sysroot/.complete" ]; then
  say "cached: $sysroot"
  echo "$sysroot"
  exit 0
fi
$sudo mkdir -p "$cache"
[ -w "$cache" ] || $sudo chown "$(id -u):$(id -g)" "$cache"
work="$(mktemp -d "$cache/.build-$hash.XXXXXX")"
stage="$work/sysroot"
# A failed build keeps its folder and logs for a look; a later run starts anew.
trap 'rc=$?; [ "$rc" -ne 0 ] || rm -rf "$work"' EXIT
start=$SECONDS
build_sysroot
touch "$stage/.complete"
# A sysroot another run finished meanwhile is as good as this one.
if ! mv -T "$stage" "$sysroot" 2>/dev/null; then
  [ -f "$sysroot/.complete" ] || die "cannot move the sysroot to $sysroot"
fi
say "built $sysroot in $((SECONDS - start)) s"
echo "$sysroot"
