#!/usr/bin/env bash
# Breaks the code on purpose, one break at a time, and checks that the tests
# notice: each break in the list (default scripts/mutations.txt) is an exact
# text substitution in one source file. For each: apply it, rebuild
# incrementally, run the tests, put the file back. A break of the plug-in runs
# the plug-in's tests; a break of the box rebuilds everything and runs every
# test but the window's. A break is killed when the build or a test fails,
# and survives when everything passes.
# The file is always put back, also on Ctrl-C. Needs a configured build/
# (cmake --preset default). Exit status: 0 when every break was killed.
#
#   scripts/mutate.sh [LIST] [NUMBER...]   # NUMBER: only those breaks (1-based)
set -uo pipefail
cd "$(dirname "$0")/.."

list="${1:-scripts/mutations.txt}"
shift || true
build=build
[ -f "$list" ] || { echo "mutate: $list: no such file" >&2; exit 2; }
[ -f "$build/build.ninja" ] || { echo "mutate: $build is not configured: run cmake --preset default" >&2; exit 2; }

# The list's parser: "count", "describe N" (file TAB what) and "apply N"
# (writes the broken file; exit 3 when the original text is not in the file
# exactly once, so a stale list is reported instead of testing nothing).
parser='
  use strict; use warnings;
  my ($list, $mode, $n) = @ARGV;
  open(my $in, "<", $list) or die "mutate: $list: $!\n";
  my @breaks; my $line = 0;
  while (my $l = <$in>) {
    $line++; chomp $l;
    next if $l =~ /^#/ || $l =~ /^\s*$/;
    if ($l =~ /^@\s*(\S+)\s*\|\s*(.*)$/) { push @breaks, {file => $1, what => $2, line => $line, from => [], to => []}; next; }
    die "$list:$line: a break starts with \"@ FILE | what it does\"\n" unless @breaks;
    if ($l =~ /^- ?(.*)$/) { push @{$breaks[-1]{from}}, $1; next; }
    if ($l =~ /^\+ ?(.*)$/) { push @{$breaks[-1]{to}}, $1; next; }
    die "$list:$line: expected \"- original\" or \"+ replacement\"\n";
  }
  for my $b (@breaks) { die "$list:$b->{line}: no original text\n" unless @{$b->{from}}; }
  if ($mode eq "count") { print scalar(@breaks), "\n"; exit 0; }
  my $b = $breaks[$n - 1] or die "mutate: there is no break $n\n";
  if ($mode eq "describe") { print "$b->{file}\t$b->{what}\n"; exit 0; }
  my $from = join("\n", @{$b->{from}});
  my $to = join("\n", @{$b->{to}});
  open(my $f, "<", $b->{file}) or die "mutate: $b->{file}: $!\n";
  local $/; my $text = <$f>; close $f;
  my $count = () = $text =~ /\Q$from\E/g;
  if ($count != 1) { print STDERR "$list:$b->{line}: the original text is in $b->{file} $count times\n"; exit 3; }
  my $at = index($text, $from);
  substr($text, $at, length($from)) = $to;
  open(my $out, ">", $b->{file}) or die "mutate: $b->{file}: $!\n";
  print $out $text; close $out or die "mutate: $b->{file}: $!\n";
'

total=$(perl -e "$parser" "$list" count) || exit 2
numbers=("$@")
[ ${#numbers[@]} -gt 0 ] || numbers=($(seq 1 "$total"))

backup=$(mktemp)
target=""
# Written, not copied with its old time: the next build must see the change.
restore() {
  if [ -n "$target" ]; then
    cat "$backup" >"$target"
    target=""
  fi
}
trap 'restore; rm -f "$backup"' EXIT
trap 'echo "mutate: interrupted; the source is put back" >&2; exit 130' INT TERM

log=$(mktemp -d)
killed=0 survived=0 stale=0
survivors=()
echo "mutate: $total breaks in $list; logs in $log"
for n in "${numbers[@]}"; do
  IFS=$'\t' read -r file what < <(perl -e "$parser" "$list" describe "$n") || exit 2
  cp "$file" "$backup"
  target="$file"
  if ! perl -e "$parser" "$list" apply "$n" 2>"$log/$n.txt"; then
    restore
    stale=$((stale + 1))
    survivors+=("$n stale: $(cat "$log/$n.txt")")
    printf '%3d %-26s %s: %s\n' "$n" "STALE" "$file" "$what"
    continue
  fi
  case "$file" in
    entry/* | sweep/* | feedscan/* | graph/*) build_args=(--target plugin_tests) test_args=(-R 'Sweep|Feed|Dialog|Graph') ;;
    *) build_args=() test_args=(-E window_xvfb) ;;
  esac
  if ! cmake --build "$build" -j2 "${build_args[@]}" >"$log/$n.txt" 2>&1; then
    verdict="killed (the build fails)"
  elif ! ctest --test-dir "$build" "${test_args[@]}" -j2 --timeout 120 >>"$log/$n.txt" 2>&1; then
    failed=$(grep -cE '^\s*[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)' "$log/$n.txt")
    verdict="killed ($failed tests fail)"
  else
    verdict="SURVIVED"
  fi
  restore
  if [ "$verdict" = SURVIVED ]; then
    survived=$((survived + 1))
    survivors+=("$n $file: $what")
  else
    killed=$((killed + 1))
  fi
  printf '%3d %-26s %s: %s\n' "$n" "$verdict" "$file" "$what"
done

# Leave the build as the sources are.
cmake --build "$build" -j2 >"$log/restore.txt" 2>&1 ||
  echo "mutate: the rebuild of the restored sources failed; see $log/restore.txt" >&2
echo "mutate: killed $killed of ${#numbers[@]}; survived $survived; stale $stale"
for s in "${survivors[@]}"; do echo "  not killed: $s"; done
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ]
