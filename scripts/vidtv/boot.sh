# shellcheck shell=bash
# Packing the guest and booting it: the run, selftest and capture commands of
# scripts/vidtv.sh, which sources this file.

# A file or folder of this machine, copied into the guest tree ROOT at the same
# absolute path. A symbolic link given by name is followed; links inside
# folders are kept.
vidtv_stage() {
  local root=$1 path=$2
  [ -e "$path" ] || vidtv_die "cannot pack $path: no such file or folder"
  mkdir -p "$root$(dirname "$path")"
  cp -a -H "$path" "$root$path"
}

# Copies every shared library that the programs and libraries in ROOT load
# (ldd) to the same path in ROOT. SKIP is a folder whose
# files are not looked at (glibc's gconv modules need nothing but libc).
vidtv_stage_libraries() {
  local root=$1 skip=$2 f lib magic
  local -A seen=()
  while IFS= read -r -d '' f; do
    [[ $f == "$root$skip"/* ]] && continue
    magic=$(head -c 4 "$f" | tr -d '\0')
    [ "$magic" = $'\x7fELF' ] || continue
    while read -r lib; do
      case $lib in
        missing:*) vidtv_die "$f needs ${lib#missing:}, which ldd does not find" ;;
      esac
      # A library found beside a staged program through $ORIGIN is there already.
      [[ $lib == "$root"/* ]] && continue
      [ -n "${seen[$lib]:-}" ] && continue
      seen[$lib]=1
      [ -e "$root$lib" ] && continue
      mkdir -p "$root$(dirname "$lib")"
      cp -L "$lib" "$root$lib"
    done < <({ ldd "$f" 2>/dev/null || true; } | awk '
      $2 == "=>" && $3 == "not" { print "missing:" $1; next }
      $2 == "=>" && $3 ~ /^\// { print $3; next }
      $1 ~ /^\// { print $1 }')
  done < <(find "$root" -type f \( -perm -u+x -o -name '*.so' -o -name '*.so.*' \) -print0)
}

# Quotes a word for the guest's shell.
vidtv_quote() {
  printf "'%s'" "${1//\'/\'\\\'\'}"
}

# Writes the guest tree into ROOT: busybox and /init, the modules, the box's
# build, the fonts, gconv modules and C.UTF-8 locale, the packed paths and the
# job that init runs. The remaining arguments are the command.
vidtv_stage_guest() {
  local root=$1 f gconv libc vidtv_copied
  shift
  mkdir -p "$root"/{bin,sbin,usr/bin,usr/sbin,proc,sys,dev,tmp,root,vidtv}
  cp -L "$(command -v busybox)" "$root/bin/busybox"
  cp "$vidtv_lib/init" "$root/init"
  chmod 755 "$root/init"
  cp -a "$vidtv_entry/modules" "$root/vidtv/modules"
  for f in "$vidtv_build_dir/vantrel-box" "$vidtv_build_dir"/*.so "$vidtv_build_dir/root" \
    "$vidtv_build_dir/locale"; do
    [ -e "$f" ] && vidtv_stage "$root" "$f"
  done
  [ -e "$vidtv_build_dir/vantrel-box" ] || echo "vidtv: no $vidtv_build_dir/vantrel-box to pack" >&2
  # The box reads its data from the source tree the build was configured from.
  # A build folder copied elsewhere (no CMake cache) still names the original
  # folder in its run path and data path: it is told where this tree's data
  # is, and its own libraries come first.
  f=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$vidtv_build_dir/CMakeCache.txt" 2>/dev/null || true)
  vidtv_copied=""
  [ -n "$f" ] || vidtv_copied=$vidtv_build_dir
  vidtv_stage "$root" "${f:-$vidtv_src}/data"
  vidtv_stage "$root" /usr/share/fonts/truetype/dejavu
  libc=$(ldd /bin/sh | awk '$1 ~ /^libc\.so/ { print $3 }')
  gconv=$(realpath "$(dirname "$libc")/gconv")
  vidtv_stage "$root" "$gconv"
  # The box falls back on C.UTF-8 when it has no locale, and its catalogue
  # only translates under a real locale.
  [ -d /usr/lib/locale/C.utf8 ] && vidtv_stage "$root" /usr/lib/locale/C.utf8
  for f in "${vidtv_packs[@]}"; do
    vidtv_stage "$root" "$f"
  done
  # The command itself, when it names a program of this machine.
  if [[ $1 == */* ]]; then
    f=$1
    [[ $f == /* ]] || f="$vidtv_src/$f"
    [ -f "$f" ] && [ ! -e "$root$f" ] && vidtv_stage "$root" "$(realpath -s "$f")"
  elif ! grep -qx -- "$1" <<<"$("$root/bin/busybox" --list)" && f=$(type -P "$1"); then
    vidtv_stage "$root" "$f"
  fi
  LD_LIBRARY_PATH=${vidtv_copied:-${LD_LIBRARY_PATH:-}} vidtv_stage_libraries "$root" "$gconv"
  {
    echo "VIDTV_MODULES=$(vidtv_quote "$(tr '\n' ' ' <"$vidtv_entry/modules/order")")"
    echo "VIDTV_FREQS=$(vidtv_quote "$vidtv_freqs")"
    echo "VIDTV_SHIFT=$(vidtv_quote "$vidtv_shift")"
    echo "VIDTV_CWD=$(vidtv_quote "$vidtv_src")"
    echo "VIDTV_OUT=$(vidtv_quote "$vidtv_out")"
    echo "export GCONV_PATH=$(vidtv_quote "$gconv")"
    if [ -n "$vidtv_copied" ]; then
      echo "export VANTREL_DATA=$(vidtv_quote "$vidtv_src/data") LD_LIBRARY_PATH=$(vidtv_quote "$vidtv_copied")"
    fi
    [ -z "$vidtv_out" ] || echo "export VIDTV_OUT"
    for f in "${vidtv_env[@]}"; do
      echo "export ${f%%=*}=$(vidtv_quote "${f#*=}")"
    done
    printf 'set --'
    for f in "$@"; do
      printf ' %s' "$(vidtv_quote "$f")"
    done
    echo
  } >"$root/vidtv/job"
}

# Without KVM every page the kernel zeroes and every self-test it runs costs
# real time: these save about a second of the boot.
vidtv_append_fast="cryptomgr.notests init_on_alloc=0"

# Boots the guest of initramfs INITRD, showing its console, and leaves what it
# reports (status, copied files) in DATA. Returns qemu's status (124: killed by
# the time-out).
vidtv_boot() {
  local initrd=$1 data=$2 kernel st=0
  kernel="$vidtv_entry/$(sed -n 's/^kernel=//p' "$vidtv_entry/info")"
  # No screen at all (rather than -nographic): the firmware then keeps quiet
  # on the console. The second serial port carries the report back, apart
  # from the console that kernel messages may interleave with.
  timeout --kill-after=5 "$vidtv_timeout" qemu-system-x86_64 -machine pc -accel tcg -smp 1 -m 512M \
    -nodefaults -no-user-config -display none -serial stdio -serial "file:$data" -no-reboot \
    -kernel "$kernel" -initrd "$initrd" -append "console=ttyS0 quiet panic=-1 $vidtv_append_fast" \
    </dev/null 2>"$data.qemu" | tr -d '\r' || st=$?
  return "$st"
}

# Reads the guest's report in DATA: copies what it wrote into the --out
# folder and sets vidtv_status to its command's exit status.
vidtv_collect() {
  local data=$1 tmp=$2 status
  tr -d '\r' <"$data" >"$tmp/report"
  if grep -q '^vidtv-error ' "$tmp/report"; then
    vidtv_die "guest: $(sed -n 's/^vidtv-error //p' "$tmp/report" | sed -n 1p)"
  fi
  status=$(sed -n 's/^vidtv-status \([0-9]\{1,3\}\)$/\1/p' "$tmp/report" | tail -n 1)
  [ -n "$status" ] || vidtv_die "the guest stopped without reporting an exit status (see the console above)"
  if [ -n "$vidtv_out" ]; then
    mkdir -p "$tmp/out"
    sed -n '/^vidtv-out-begin$/,/^vidtv-out-end$/{/^vidtv-out-/d;p}' "$tmp/report" | base64 -d >"$tmp/out.tgz" &&
      tar -xzf "$tmp/out.tgz" -C "$tmp/out" ||
      vidtv_die "the guest's files could not be read back"
    mkdir -p "$vidtv_out"
    cp -a "$tmp/out/." "$vidtv_out/"
  fi
  vidtv_status=$status
}

vidtv_check_freqs() {
  local f n=0
  [[ $1 =~ ^[0-9]+(,[0-9]+)*$ ]] || vidtv_usage_error "--freqs wants kHz values separated by commas, not '$1'"
  for f in ${1//,/ }; do
    n=$((n + 1))
    ((f >= 10700000 && f <= 12750000)) || vidtv_usage_error "--freqs: $f kHz is outside the Ku band (10700000-12750000)"
  done
  ((n <= 8)) || vidtv_usage_error "--freqs: vidtv takes at most 8 frequencies"
}

# Sets vidtv_path to the absolute form of PATH given to OPTION, which must lie
# where the guest can have it: its /dev, /proc and /sys are its own, and what
# comes back from / would be merged into this machine's root.
vidtv_guest_path() {
  vidtv_path=$(realpath -s "$2")
  case $vidtv_path in
    / | /dev | /dev/* | /proc | /proc/* | /sys | /sys/*)
      vidtv_usage_error "$1: the guest cannot share $vidtv_path" ;;
  esac
}

# run [OPTIONS] -- COMMAND [ARGS...]
vidtv_run() {
  local tmp rc t0=$SECONDS
  vidtv_freqs=11362000 vidtv_shift=0 vidtv_out="" vidtv_timeout=120 vidtv_build_dir="$vidtv_src/build"
  vidtv_packs=() vidtv_env=()
  while [ $# -gt 0 ]; do
    case $1 in
      --freqs)
        vidtv_check_freqs "${2:-}"
        vidtv_freqs=$2
        ;;
      --shift)
        # The bed's modules keep it in 32 bits (prepare.sh widens vidtv's byte).
        [[ ${2:-} =~ ^(0|[1-9][0-9]{0,3})$ ]] ||
          vidtv_usage_error "--shift wants kHz from 0 to 9999, not '${2:-}'"
        vidtv_shift=$2
        ;;
      --pack)
        [ -e "${2:-}" ] || vidtv_usage_error "--pack: no file or folder '${2:-}'"
        vidtv_guest_path --pack "$2"
        vidtv_packs+=("$vidtv_path")
        ;;
      --out)
        [ -n "${2:-}" ] || vidtv_usage_error "--out wants a folder"
        vidtv_guest_path --out "$2"
        vidtv_out=$vidtv_path
        ;;
      --env)
        [[ ${2:-} =~ ^[A-Za-z_][A-Za-z0-9_]*= ]] || vidtv_usage_error "--env wants NAME=VALUE, not '${2:-}'"
        vidtv_env+=("$2")
        ;;
      --build)
        [ -d "${2:-}" ] || vidtv_usage_error "--build: no folder '${2:-}'"
        vidtv_build_dir=$(realpath -s "$2")
        ;;
      --timeout)
        [[ ${2:-} =~ ^[1-9][0-9]{0,4}$ ]] || vidtv_usage_error "--timeout wants seconds, not '${2:-}'"
        vidtv_timeout=$2
        ;;
      --)
        shift
        break
        ;;
      *) vidtv_usage_error "run: unknown option '$1' (the command comes after --)" ;;
    esac
    shift 2
  done
  [ $# -gt 0 ] || vidtv_usage_error "run: no command given after --"
  if [ -n "$vidtv_out" ] && [ -e "$vidtv_out" ] && [ ! -d "$vidtv_out" ]; then
    vidtv_usage_error "--out: $vidtv_out is not a folder"
  fi
  vidtv_need qemu-system-x86 busybox-static cpio
  vidtv_prepare
  vidtv_scratch run tmp
  vidtv_stage_guest "$tmp/root" "$@"
  (cd "$tmp/root" && find . | cpio -o -H newc -R 0:0 --quiet) >"$tmp/initrd"
  echo "vidtv: booting $(basename "$vidtv_entry") ($(du -m "$tmp/initrd" | cut -f1) MB packed in $((SECONDS - t0)) s)"
  rc=0
  vidtv_boot "$tmp/initrd" "$tmp/data" || rc=$?
  if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "vidtv: the guest did not finish within $vidtv_timeout s and was killed" >&2
    exit 124
  fi
  [ "$rc" -eq 0 ] || vidtv_die "qemu failed ($rc): $(head -c 500 "$tmp/data.qemu")"
  vidtv_collect "$tmp/data" "$tmp"
  echo "vidtv: '$*' exited $vidtv_status after $((SECONDS - t0)) s"
}

# Debian's dvb-tools against the virtual tuner (see selftest.sh); then, when
# the box is built, its dialog and the first seconds of a sweep of its
# simulated band must look in the guest as they do here, to the byte (a
# missing font, locale or catalogue shows).
vidtv_selftest() {
  local args=() t tmp f keys='wait 500; shot dialog; key green; wait 2000; shot sweep; key red; wait 500; key red'
  vidtv_need dvb-tools
  for t in dvb-fe-tool dvbv5-zap dvbv5-scan; do
    args+=(--pack "$(type -P "$t")")
  done
  vidtv_scratch selftest tmp guest
  # One language on both sides: the guest has no LANG, and a C locale here
  # would mean English.
  [ -x "$vidtv_src/build/vantrel-box" ] && args+=(--env "VIDTV_BOX_KEYS=$keys" --env VANTREL_LANG=it)
  vidtv_run "${args[@]}" --out "$tmp/guest" --pack "$vidtv_lib/selftest.sh" -- sh "$vidtv_lib/selftest.sh"
  [ "$vidtv_status" -eq 0 ] || return 0
  if [ ! -x "$vidtv_src/build/vantrel-box" ]; then
    echo "selftest: the box is not built: its screens were not compared"
    return 0
  fi
  (cd "$vidtv_src" && VANTREL_LANG=it ./build/vantrel-box --keys "$keys" --shots "$tmp/host" >/dev/null) ||
    vidtv_die "the box failed on this machine"
  for f in dialog.png dialog.json sweep.png sweep.json; do
    if ! cmp -s "$tmp/host/$f" "$tmp/guest/box/$f"; then
      echo "selftest: FAILED: the box's $f differs between the guest and this machine"
      vidtv_status=1
      return 0
    fi
  done
  echo "selftest: ok: the box draws the same screens in the guest as here"
}

# Says so when the first NIT section in FILE gives a transport stream loop
# length that does not reach its CRC, as vidtv's does: a parser's test
# should know the input is off, not the parser.
vidtv_nit_note() {
  local b total ndl loop want
  read -r -a b <<<"$(od -An -v -tu1 "$1" | tr -s ' \n' ' ')"
  ((${#b[@]} >= 16)) || return 0
  total=$(((((b[1] & 15) << 8) | b[2]) + 3))
  ndl=$((((b[8] & 15) << 8) | b[9]))
  loop=$((((b[10 + ndl] & 15) << 8) | b[11 + ndl]))
  want=$((total - 4 - 12 - ndl))
  ((loop == want)) && return 0
  echo
  echo "nit.bin: the transport stream loop length says $loop bytes where $want follow before the CRC:"
  echo "vidtv counts each transport's fixed 6 bytes but not its descriptors. Kept as the kernel sends it."
}

# Raw PAT, SDT and NIT sections of vidtv's multiplex into DIR (see capture.sh).
vidtv_capture() {
  local dir tmp
  dir=$(realpath -s "$1")
  vidtv_need dvb-tools build-essential
  vidtv_scratch capture tmp guest
  cc -O2 -Wall -Wextra -Werror -o "$tmp/dmxsections" "$vidtv_lib/dmxsections.c" ||
    vidtv_die "dmxsections.c did not build"
  vidtv_run --pack "$(type -P dvbv5-zap)" --pack "$tmp/dmxsections" --pack "$vidtv_lib/capture.sh" \
    --env "VIDTV_DMXSECTIONS=$tmp/dmxsections" --out "$tmp/out" -- sh "$vidtv_lib/capture.sh"
  [ "$vidtv_status" -eq 0 ] || return 0
  mkdir -p "$dir"
  cp "$tmp/out"/*.bin "$dir"/
  {
    echo "Raw sections of the multiplex of the kernel's virtual DVB tuner (vidtv), read from"
    echo "/dev/dvb/adapter0/demux0 by scripts/vidtv/dmxsections.c while dvbv5-zap held DVB-S"
    echo "11362000 kHz locked; each file holds one table's sections one after another, as the"
    echo "demux delivered them (CRC included). Made by: scripts/vidtv.sh capture"
    echo
    echo "kernel: $(sed -n 's/^packages=//p' "$vidtv_entry/info" | tr ' ' '\n' | sed -n 1p)"
    cat "$tmp/out/sections.txt"
    vidtv_nit_note "$dir/nit.bin"
  } >"$dir/README"
  echo "vidtv: sections written to $dir"
}
