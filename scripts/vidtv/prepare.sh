# shellcheck shell=bash
# The recipe of the virtual tuner's kernel: which Debian kernel, how its vidtv
# modules are built and what of it is kept. Sourced by scripts/vidtv.sh; the
# cache folder is keyed on the kernel version and on a hash of this file, so an
# edit here rebuilds while the downloaded packages are kept.

# The stable suite the kernel comes from. Only these suites count: a
# backports source added to the machine must not change the kernel under test.
vidtv_suite=bookworm
vidtv_flavour=amd64
# What the guest loads, in the order modinfo's dependencies give.
vidtv_modules=(dvb-vidtv-tuner dvb-vidtv-demod dvb-vidtv-bridge)

# Prints "VERSION ABI" of the newest kernel that the stable suites offer
# (e.g. "6.1.192-3 6.1.0-57"), from apt's lists; prints nothing when the lists
# have no kernel. The answer is kept in the cache folder ROOT until the lists
# change: apt-cache takes seconds here.
vidtv_resolve_kernel() {
  local root=$1 lists sig kv
  lists=$(stat -c '%n %s %Y' /var/lib/apt/lists/*Packages* 2>/dev/null | sha256sum | cut -c1-16)
  if [ -f "$root/resolved" ] && read -r sig kv <"$root/resolved" && [ "$sig" = "$lists" ]; then
    echo "$kv"
    return 0
  fi
  kv=$(vidtv_ask_apt)
  [ -n "$kv" ] || return 0
  echo "$lists $kv" >"$root/resolved.$$" && mv "$root/resolved.$$" "$root/resolved"
  echo "$kv"
}

vidtv_ask_apt() {
  local meta="linux-image-$vidtv_flavour" ver dep
  ver=$(apt-cache madison "$meta" 2>/dev/null | awk -F'|' -v s="$vidtv_suite" '{
      split($3, w, " "); suite = w[2]; sub(/\/.*/, "", suite); gsub(/ /, "", $2)
      if (suite == s || suite == s "-security" || suite == s "-updates") print $2
    }' | sort -V | tail -n 1)
  [ -n "$ver" ] || return 0
  # The metapackage names the kernel's ABI and pins its exact version.
  dep=$(apt-cache show "$meta=$ver" 2>/dev/null |
    sed -n "s/^Depends:.*linux-image-\([^ ,]*\)-$vidtv_flavour (= \([^)]*\)).*/\2 \1/p" | sed -n 1p)
  [ -z "$dep" ] || echo "$dep"
}

# The packages (name=version) of kernel VERSION with ABI, one a line.
vidtv_packages() {
  local ver=$1 abi=$2 series image
  series=$(echo "$ver" | cut -d. -f1,2)
  # The unsigned image is the same kernel without the Secure Boot signature.
  image="linux-image-$abi-$vidtv_flavour-unsigned"
  grep -q " $ver " <<<"$(apt-cache madison "$image" 2>/dev/null)" || image="linux-image-$abi-$vidtv_flavour"
  printf '%s\n' "$image=$ver" "linux-headers-$abi-$vidtv_flavour=$ver" "linux-headers-$abi-common=$ver" \
    "linux-kbuild-$series=$ver" "linux-source-$series=$ver"
}

# Downloads what is missing of the packages given as name=version into DEBS.
# Returns 1 when apt cannot fetch them (a stale list, no network).
vidtv_download() {
  local debs=$1 pkg want=() dl
  shift
  for pkg in "$@"; do
    compgen -G "$debs/${pkg%%=*}_${pkg#*=}_*.deb" >/dev/null || want+=("$pkg")
  done
  ((${#want[@]})) || return 0
  echo "vidtv: downloading ${want[*]}"
  local t0=$SECONDS
  dl=$(mktemp -d "$debs/.download.XXXXXX")
  # apt-get download writes into the working folder; a failed fetch leaves
  # nothing behind in DEBS.
  if (cd "$dl" && apt-get download -q -o APT::Sandbox::User=root "${want[@]}" >"$dl/apt.log" 2>&1); then
    mv "$dl"/*.deb "$debs"/
    rm -rf "$dl"
    echo "vidtv: downloaded $(du -cm "$debs"/*.deb | tail -n 1 | cut -f1) MB in $((SECONDS - t0)) s"
    return 0
  fi
  sed 's/^/  /' "$dl/apt.log" | tail -n 5 >&2
  rm -rf "$dl"
  return 1
}

# The .deb file of package NAME=VERSION in DEBS.
vidtv_deb() {
  local f
  f=$(compgen -G "$1/${2%%=*}_${2#*=}_*.deb" | sed -n 1p)
  [ -n "$f" ] || vidtv_die "no package file for $2 in $1"
  echo "$f"
}

# Finds module NAME (dashes and underscores alike) under DIR.
vidtv_find_module() {
  local dir=$1 name=$2
  find "$dir" \( -name "$name.ko*" -o -name "${name//-/_}.ko*" -o -name "${name//_/-}.ko*" \) -print -quit
}

# Appends MODULE and, before it, what it depends on to the load order, copying
# each uncompressed into OUT. Modules built into the kernel are skipped.
vidtv_add_module() {
  local name=$1 out=$2 tree=$3 built=$4 file dep
  [[ " ${vidtv_order[*]} " == *" $name "* ]] && return 0
  grep -q "/${name//-/[-_]}\.ko" "$tree/modules.builtin" 2>/dev/null && return 0
  file=$(vidtv_find_module "$built" "$name")
  [ -n "$file" ] || file=$(vidtv_find_module "$tree/kernel" "$name")
  [ -n "$file" ] || vidtv_die "module $name, needed by the vidtv driver, is not in the kernel package"
  for dep in $(modinfo -F depends "$file" | tr ',' ' '); do
    vidtv_add_module "$dep" "$out" "$tree" "$built"
  done
  case $file in
    *.xz) xz -dc "$file" >"$out/$name.ko" ;;
    *.zst) zstd -qdc "$file" >"$out/$name.ko" ;;
    *.gz) gzip -dc "$file" >"$out/$name.ko" ;;
    *) cp "$file" "$out/$name.ko" ;;
  esac
  vidtv_order+=("$name")
}

# Builds the cache entry for kernel VERSION/ABI from the packages in DEBS into
# the new folder OUT: the kernel to boot, the modules in load order, the
# kernel's configuration and a summary.
vidtv_build() {
  local ver=$1 abi=$2 debs=$3 out=$4 work series kname hdr img src srcjob pkg kernel=vmlinux t0=$SECONDS t1
  vidtv_scratch build work
  series=$(echo "$ver" | cut -d. -f1,2)
  kname="$abi-$vidtv_flavour"
  mkdir -p "$work/root" "$work/image" "$out/modules"
  local -a pkgs
  mapfile -t pkgs < <(vidtv_packages "$ver" "$abi")
  # The source tarball takes longest to read: it streams on the second core
  # while the rest is unpacked.
  src="linux-source-$series"
  dpkg-deb --fsys-tarfile "$(vidtv_deb "$debs" "${pkgs[4]}")" | tar -xO "./usr/src/$src.tar.xz" |
    tar -xJ -C "$work" "$src/drivers/media/test-drivers/vidtv" "$src/scripts/extract-vmlinux" &
  srcjob=$!
  for pkg in "${pkgs[@]:1:3}"; do
    dpkg-deb -x "$(vidtv_deb "$debs" "$pkg")" "$work/root"
  done
  hdr="$work/root/usr/src/linux-headers-$kname"
  # The headers include their -common half by its installed path; point it at
  # the unpacked copy instead of installing anything under /usr/src.
  sed -i "s#^include /usr/src/#include $work/root/usr/src/#" "$hdr/Makefile"
  # Only the kernel, its configuration and the media modules are needed of the
  # image's 400 MB.
  dpkg-deb --fsys-tarfile "$(vidtv_deb "$debs" "${pkgs[0]}")" | tar -x -C "$work/image" --wildcards \
    "./boot/*-$kname" "*/modules/$kname/modules.builtin" "*/modules/$kname/kernel/drivers/media/*"
  wait "$srcjob" || vidtv_die "cannot read the vidtv sources from ${pkgs[4]}"
  # The tuner keeps max_frequency_shift_hz in a byte, which caps the window
  # around a carrier at 255 kHz (satellite tuning compares kHz): too narrow for
  # a sweep's 3 MHz steps to fall in. The field is widened to 32 bits, as the
  # module parameter that fills it already is.
  sed -i 's/^\(\s*\)u8\(\s\+max_frequency_shift_hz;\)/\1u32\2/' "$work/$src/drivers/media/test-drivers/vidtv/vidtv_tuner.h"
  grep -q 'u32 *max_frequency_shift_hz;' "$work/$src/drivers/media/test-drivers/vidtv/vidtv_tuner.h" ||
    vidtv_die "cannot widen max_frequency_shift_hz in vidtv_tuner.h"
  echo "vidtv: unpacked in $((SECONDS - t0)) s; building the vidtv modules against $kname"
  t1=$SECONDS
  if ! make -C "$hdr" M="$work/$src/drivers/media/test-drivers/vidtv" CONFIG_DVB_VIDTV=m -j2 modules \
    >"$out/build.log" 2>&1; then
    tail -n 20 "$out/build.log" >&2
    vidtv_die "the vidtv modules did not build (log: $out/build.log)"
  fi
  echo "vidtv: modules built in $((SECONDS - t1)) s"
  img=$(find "$work/image" -path "*/modules/$kname" -type d -print -quit)
  vidtv_order=()
  for pkg in "${vidtv_modules[@]}"; do
    vidtv_add_module "$pkg" "$out/modules" "$img" "$work/$src/drivers/media/test-drivers/vidtv"
  done
  printf '%s\n' "${vidtv_order[@]}" >"$out/modules/order"
  cp "$work/image/boot/config-$kname" "$out/config"
  # The uncompressed kernel boots through its PVH entry, which skips the
  # decompression that costs seconds without KVM.
  if grep -q '^CONFIG_PVH=y' "$out/config" &&
    sh "$work/$src/scripts/extract-vmlinux" "$work/image/boot/vmlinuz-$kname" >"$out/vmlinux" 2>/dev/null; then
    :
  else
    rm -f "$out/vmlinux"
    kernel=vmlinuz
    cp "$work/image/boot/vmlinuz-$kname" "$out/vmlinuz"
  fi
  printf 'version=%s\nabi=%s\nkernel=%s\npackages=%s\n' "$ver" "$abi" "$kernel" "${pkgs[*]}" >"$out/info"
  rm -rf "$work"
}
