#!/usr/bin/env bash
# The virtual-tuner test bed: boots Debian's stable kernel under qemu with the
# kernel's virtual DVB driver (vidtv) loaded, runs one command inside and hands
# back its output, its files and its exit status. See usage below.
set -euo pipefail

vidtv_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
vidtv_src=$(cd "$vidtv_here/.." && pwd)
vidtv_lib="$vidtv_here/vidtv"

usage() {
  cat <<EOF
Usage: scripts/vidtv.sh COMMAND [OPTIONS]

The kernel's virtual DVB tuner (vidtv) under qemu, for testing the box against a
Linux DVB front end without a card.

Commands:
  prepare     fetch Debian's stable kernel packages with apt (download only,
              nothing installed), build the vidtv modules against them and keep
              the result in the cache; quick when the cache is warm
  run [OPTIONS] -- COMMAND [ARGS...]
              prepare if needed, boot the kernel with the box's build packed in
              and run COMMAND inside, in the source tree's folder, with the
              virtual tuner as /dev/dvb/adapter0
  selftest    tune the virtual tuner with Debian's dvb-tools inside the guest:
              DVB-S 11362000 kHz through a universal LNB must lock, 1 MHz off
              must not, and the scan must list "Beethoven" from "LinuxTV.org";
              when the box is built, its dialog and a sweep's start must look
              in the guest as they do on this machine
  capture [DIR]
              read raw PAT, SDT and NIT sections of the virtual tuner's
              multiplex from the guest's demux into DIR (default:
              tests/data/vidtv)
  clean       remove the cache

Options of run:
  --freqs KHZ[,KHZ...]  the satellite frequencies (kHz, Ku band, at most 8)
                        that carry vidtv's multiplex (default 11362000), seen
                        through a universal LNB (LOF 9750/10600 MHz, switch at
                        11700 MHz); vidtv compares the tuner's intermediate
                        frequencies only, so a carrier also shows 850 MHz up
                        (low band) or down (high band) in the other band
  --shift KHZ           how far from a carrier's intermediate frequency a tune
                        still locks (less than KHZ, 0-9999), with a lower
                        strength and C/N (default 0: only the exact
                        frequency); vidtv's max_frequency_shift_hz, which
                        satellite tuning compares with kHz and which the bed's
                        modules keep in 32 bits instead of vidtv's byte
  --pack PATH           also pack this file or folder, at the same absolute
                        path (not under /dev, /proc or /sys, which the guest
                        has of its own), with the shared libraries its
                        programs load (repeatable)
  --out DIR             the folder DIR exists at the same absolute path in the
                        guest (also as \$VIDTV_OUT), empty unless something
                        packed lies in it; what is in it when COMMAND ends is
                        copied back into DIR (merged, files replaced), also
                        when COMMAND fails
  --env NAME=VALUE      set a variable for COMMAND (repeatable)
  --build DIR           the build folder whose box is packed (default: build)
  --timeout SECONDS     kill a guest that has not finished (default 120)

Always packed: busybox, the modules, build/vantrel-box, build/*.so,
build/root/, build/locale/, the source tree's data/, the DejaVu fonts, glibc's
gconv modules, the C.UTF-8 locale, COMMAND itself when it is a program of this
machine, and every shared library that a packed program loads (ldd). COMMAND
runs as root with busybox's tools, PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin,
no LANG and standard input from /dev/null; its output shows on the console as it
comes. The guest's file system is in memory: anything written outside --out is
lost.

Exit status of run: COMMAND's; 124 when the guest did not finish in time; 125
when the test bed itself failed (fetch, build, boot, transfer; the message says
which); 2 for bad arguments.

Environment: VANTREL_VIDTV_CACHE, the cache folder (default
/var/cache/vantrel-vidtv, or ~/.cache/vantrel-vidtv when that is not
writable). The kernel packages are kept in it (about 220 MB), beside one folder
per kernel version and recipe with the built modules and the kernel to boot.
Missing Debian packages (qemu-system-x86, busybox-static, ...) are installed with
apt-get.
EOF
}

vidtv_die() {
  echo "vidtv: $*" >&2
  exit 125
}

vidtv_usage_error() {
  echo "vidtv: $*" >&2
  echo "Try 'scripts/vidtv.sh --help'." >&2
  exit 2
}

# Whatever fails unforeseen is the test bed's failure, not the command's. A
# status of 125 is a vidtv_die in a subshell that has said why already.
set -E
trap 'vidtv_failed $? "${BASH_SOURCE[0]##*/}:$LINENO" "$BASH_COMMAND"' ERR
vidtv_failed() {
  [ "$1" -eq 125 ] && exit 125
  vidtv_die "failed at $2: $3"
}

# Temporary files and folders, removed whatever way the script ends.
vidtv_tmp=()
vidtv_cleanup() {
  local pids
  mapfile -t pids < <(jobs -p)
  ((${#pids[@]} == 0)) || kill "${pids[@]}" 2>/dev/null || true
  rm -rf "${vidtv_tmp[@]}"
}
trap vidtv_cleanup EXIT

# Makes a scratch folder NAME, removed at exit, into the variable VAR. In
# memory (/dev/shm) when it has room: the kernel headers' thousands of files
# take half a minute to delete from a busy disk. A third argument "guest"
# asks for one that can be packed: the guest's own /dev hides the host's.
vidtv_scratch() {
  local base=${TMPDIR:-/tmp} dir avail
  avail=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 { print $4 }')
  [ "${3:-}" != guest ] && [ -w /dev/shm ] && [ "${avail:-0}" -gt 2000000 ] && base=/dev/shm
  dir=$(mktemp -d "$base/vidtv-$1.XXXXXX")
  vidtv_tmp+=("$dir")
  printf -v "$2" '%s' "$dir"
}

# Installs the Debian packages of the arguments that are missing.
vidtv_need() {
  local p missing=() sudo=""
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "vidtv: installing ${missing[*]}"
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q >/dev/null || vidtv_die "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null ||
    vidtv_die "could not install ${missing[*]}"
}

vidtv_cache_root() {
  local dir=${VANTREL_VIDTV_CACHE:-/var/cache/vantrel-vidtv}
  if [ -z "${VANTREL_VIDTV_CACHE:-}" ] && ! { mkdir -p "$dir" && [ -w "$dir" ]; } 2>/dev/null; then
    dir="${XDG_CACHE_HOME:-$HOME/.cache}/vantrel-vidtv"
  fi
  mkdir -p "$dir/debs" || vidtv_die "cannot create the cache folder $dir"
  echo "$dir"
}

# shellcheck source=scripts/vidtv/prepare.sh
. "$vidtv_lib/prepare.sh"
# shellcheck source=scripts/vidtv/boot.sh
. "$vidtv_lib/boot.sh"

# Makes sure the cache holds a built kernel entry and sets vidtv_entry to it.
vidtv_prepare() {
  local root hash kv ver abi
  vidtv_need build-essential xz-utils kmod
  root=$(vidtv_cache_root)
  hash=$(sha256sum "$vidtv_lib/prepare.sh" | cut -c1-12)
  kv=$(vidtv_resolve_kernel "$root")
  if [ -z "$kv" ]; then
    apt-get update -q >/dev/null 2>&1 || true
    kv=$(vidtv_resolve_kernel "$root")
  fi
  if [ -z "$kv" ]; then
    vidtv_fall_back "$root" "$hash" "apt knows no linux-image-$vidtv_flavour in $vidtv_suite"
    return 0
  fi
  read -r ver abi <<<"$kv"
  vidtv_entry="$root/$ver-$hash"
  if [ ! -f "$vidtv_entry/info" ]; then
    # One preparation at a time; a second caller waits and then finds it done.
    exec 9>"$root/.lock"
    flock 9
    [ -f "$vidtv_entry/info" ] || vidtv_make_entry "$root" "$hash" "$ver" "$abi"
    exec 9>&-
  fi
  touch "$vidtv_entry/used"
}

# Downloads and builds the entry of kernel VERSION/ABI. When the archive no
# longer has that version, apt's lists are refreshed and the kernel they then
# name is taken.
vidtv_make_entry() {
  local root=$1 hash=$2 ver=$3 abi=$4 t0=$SECONDS kv new pkgs
  mapfile -t pkgs < <(vidtv_packages "$ver" "$abi")
  if ! vidtv_download "$root/debs" "${pkgs[@]}"; then
    apt-get update -q >/dev/null 2>&1 || true
    kv=$(vidtv_resolve_kernel "$root")
    if [ -z "$kv" ]; then
      vidtv_fall_back "$root" "$hash" "could not download the kernel packages of $ver"
      return 0
    fi
    read -r ver abi <<<"$kv"
    vidtv_entry="$root/$ver-$hash"
    [ -f "$vidtv_entry/info" ] && return 0
    mapfile -t pkgs < <(vidtv_packages "$ver" "$abi")
    if ! vidtv_download "$root/debs" "${pkgs[@]}"; then
      vidtv_fall_back "$root" "$hash" "could not download the kernel packages of $ver"
      return 0
    fi
  fi
  new=$(mktemp -d "$root/.new-$ver-$hash.XXXXXX")
  vidtv_tmp+=("$new")
  chmod 755 "$new"
  vidtv_build "$ver" "$abi" "$root/debs" "$new"
  touch "$new/used"
  # A folder without its summary is what an interrupted older run left.
  rm -rf "$vidtv_entry"
  mv "$new" "$vidtv_entry"
  # Packages of other kernels, and entries nobody used for a fortnight (an
  # older kernel or recipe), are not needed any more.
  find "$root/debs" -maxdepth 1 -name '*.deb' ! -name "*_${ver}_*" -delete
  find "$root" -mindepth 2 -maxdepth 2 -name used -mtime +14 -printf '%h\0' | xargs -0 -r rm -rf
  echo "vidtv: prepared $(basename "$vidtv_entry") in $((SECONDS - t0)) s"
}

# Without a kernel from apt, one prepared earlier by this recipe still serves;
# otherwise the REASON ends the run.
vidtv_fall_back() {
  local root=$1 hash=$2 reason=$3 info
  info=$(compgen -G "$root/*-$hash/info" | sort -V | tail -n 1 || true)
  [ -n "$info" ] || vidtv_die "$reason, and nothing is cached"
  vidtv_entry=$(dirname "$info")
  echo "vidtv: $reason; using the cached $(basename "$vidtv_entry")" >&2
  touch "$vidtv_entry/used"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case $cmd in
  -h | --help | help) usage ;;
  prepare)
    [ $# -eq 0 ] || vidtv_usage_error "prepare takes no arguments"
    vidtv_prepare
    echo "vidtv: kernel and modules in $vidtv_entry ($(du -sh "$vidtv_entry" | cut -f1))"
    ;;
  run)
    vidtv_run "$@"
    exit "$vidtv_status"
    ;;
  selftest)
    [ $# -eq 0 ] || vidtv_usage_error "selftest takes no arguments"
    vidtv_selftest
    exit "$vidtv_status"
    ;;
  capture)
    [ $# -le 1 ] || vidtv_usage_error "capture takes at most one folder"
    vidtv_capture "${1:-$vidtv_src/tests/data/vidtv}"
    exit "$vidtv_status"
    ;;
  clean)
    root=$(vidtv_cache_root)
    rm -rf "$root"
    echo "vidtv: removed $root"
    ;;
  "") vidtv_usage_error "no command given" ;;
  *) vidtv_usage_error "unknown command '$cmd'" ;;
esac
