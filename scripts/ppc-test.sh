#!/usr/bin/env bash
# The PowerPC build under user-mode emulation: the plug-in is what a box
# loads, its whole test suite (ctest of build-ppc under qemu-ppc) passes, and
# the main job run on PowerPC and on the PC gives byte-identical standard
# output, trace, screenshots with their widget dumps and kept service list.
# Usage: scripts/ppc-test.sh [so|tests|same|all]   (default: all)
# Expects ./scripts/build.sh ppc and ./scripts/build.sh default to have run.
set -euo pipefail
cd "$(dirname "$0")/.."
what="${1:-all}"
say() { echo "ppc-test: $*"; }

# build-ppc/vantrel.so as the box wants it: a 32-bit big-endian PowerPC
# shared object exporting plugin_exec alone, the host's symbols left for the
# box, no run path of this machine.
check_so() {
  local so=build-ppc/vantrel.so header exports
  [ -f "$so" ] || { say "$so is missing: run ./scripts/build.sh ppc"; exit 1; }
  header="$(powerpc-linux-gnu-readelf -h "$so")" || { say "$so: not an ELF file"; exit 1; }
  local want
  for want in "Class: *ELF32" "Data: *2's complement, big endian" "Type: *DYN" "Machine: *PowerPC$"; do
    grep -Eq "^ *$want" <<<"$header" || { say "$so: readelf -h does not say '$want'"; exit 1; }
  done
  exports="$(powerpc-linux-gnu-nm -D --defined-only "$so" | awk 'NF == 3 { print $3 }')"
  [ "$exports" = plugin_exec ] ||
    { say "$so exports $(wc -l <<<"$exports") symbols, not plugin_exec alone: $(head -5 <<<"$exports" | xargs)"; exit 1; }
  grep -q eWidget <<<"$(powerpc-linux-gnu-nm -D --undefined-only "$so")" ||
    { say "$so does not leave the host's symbols (eWidget) undefined"; exit 1; }
  if grep -Eq "RPATH|RUNPATH" <<<"$(powerpc-linux-gnu-readelf -d "$so")"; then
    say "$so carries a run path"
    exit 1
  fi
  say "$so: ELF32 big-endian PowerPC, exports plugin_exec alone, host symbols undefined, no run path"
}

run_tests() {
  local start=$SECONDS
  # Called in an && list, where set -e does not stop at a failure.
  ctest --preset ppc || { say "ctest of build-ppc under qemu-ppc failed"; return 1; }
  say "ctest of build-ppc under qemu-ppc passed in $((SECONDS - start)) s"
}

# Runs the main job in DIR with the box given; paths are relative and the
# clock starts at one instant, so that both runs write the same bytes.
main_job() {  # DIR BOX...
  local dir="$1"
  shift
  rm -rf "$dir"
  mkdir -p "$dir"
  local status=0 keys="$PWD/data/scripts/demo.keys"
  (cd "$dir" && VANTREL_START_TIME=2026-12-08T21:04:05Z "$@" --keys "@$keys" --root root --shots shots \
    --trace trace.jsonl >stdout.txt 2>stderr.txt) || status=$?
  echo "$status" >"$dir/status.txt"
}

same_results() {
  local out=out/ppc-same start=$SECONDS
  [ -x build/vantrel-box ] || { say "build/vantrel-box is missing: run ./scripts/build.sh default"; exit 1; }
  [ -x build-ppc/vantrel-box ] || { say "build-ppc/vantrel-box is missing: run ./scripts/build.sh ppc"; exit 1; }
  local sysroot emulator=()
  sysroot="$(sed -n 's/^VANTREL_PPC_SYSROOT:[A-Z]*=//p' build-ppc/CMakeCache.txt)"
  [ -d "$sysroot" ] || { say "build-ppc's sysroot $sysroot is gone: run ./scripts/build.sh ppc"; exit 1; }
  emulator=(qemu-ppc -L "$sysroot")
  main_job "$out/pc" "$PWD/build/vantrel-box"
  main_job "$out/ppc" "${emulator[@]}" "$PWD/build-ppc/vantrel-box"
  local status
  status="$(cat "$out/pc/status.txt")"
  [ "$status" = 0 ] || { say "the main job failed on the PC (exit $status):"; cat "$out/pc/stderr.txt"; exit 1; }
  # The run must have made what it is compared on: a comparison of two
  # empty folders proves nothing.
  local f
  for f in stdout.txt trace.jsonl root/var/tuxbox/config/vantrel-box/services.json; do
    [ -s "$out/pc/$f" ] || { say "the PC's main job wrote no $f"; exit 1; }
  done
  ls "$out/pc/shots/"*.png >/dev/null 2>&1 || { say "the PC's main job wrote no screenshot"; exit 1; }
  if ! diff -r "$out/pc" "$out/ppc" >"$out/diff.txt" 2>&1; then
    say "the main job on PowerPC differs from the PC's ($out/diff.txt):"
    head -40 "$out/diff.txt"
    exit 1
  fi
  say "the main job on PowerPC gave the PC's stdout, trace, $(ls "$out/pc/shots" | wc -l) shot files" \
    "and service list byte for byte ($((SECONDS - start)) s)"
}

case "$what" in
  so) check_so ;;
  tests) run_tests ;;
  same) same_results ;;
  all) check_so && run_tests && same_results ;;
  *) echo "usage: scripts/ppc-test.sh [so|tests|same|all]" >&2; exit 2 ;;
esac
