#!/usr/bin/env bash
# The Debian package as a user meets it: unpacked into an empty folder, its
# box runs the demo from there with an empty home and keeps what it found in
# that home, both man pages show, and lintian finds no error.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
deb="$(./scripts/package.sh | tail -n 1)"
echo "package-check: $deb built in $((SECONDS - start)) s"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/unpacked" "$tmp/home" "$tmp/shots"
dpkg -x "$deb" "$tmp/unpacked"
usr="$tmp/unpacked/usr"
fail() {
  echo "package-check: $*" >&2
  exit 1
}

status=0
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_STATE_HOME -u VANTREL_DATA HOME="$tmp/home" \
  "$usr/bin/vantrel-box" --keys "@$usr/share/vantrel/scripts/demo.keys" --shots "$tmp/shots" \
  >"$tmp/out" 2>"$tmp/err" </dev/null || status=$?
cat "$tmp/out" "$tmp/err"
[ "$status" -eq 0 ] || fail "the unpacked vantrel-box exited with $status"
grep -q "Musica Nord" "$tmp/out" || fail "the unpacked vantrel-box did not print what it found"
kept="$tmp/home/.local/share/vantrel/var/tuxbox/config/vantrel-box/services.json"
[ -s "$kept" ] || fail "no kept service list at HOME/.local/share/vantrel/var/tuxbox/config/vantrel-box"
[ ! -e "$usr/bin/root" ] || fail "the unpacked box kept something beside itself"
[ -s "$tmp/shots/finished.png" ] || fail "the demo's shots are missing"

# Without a home it has nowhere to keep its finds: it says so and runs nothing.
status=0
env -i "$usr/bin/vantrel-box" --keys "key red" --lang C 2>"$tmp/err" || status=$?
[ "$status" -eq 2 ] && grep -q "neither HOME nor XDG_DATA_HOME" "$tmp/err" ||
  fail "without HOME: exit $status, $(cat "$tmp/err")"

for program in vantrel-box vantrel-bandplot; do
  page="$usr/share/man/man1/$program.1.gz"
  MANWIDTH=80 man -l -P cat "$page" >"$tmp/page" 2>"$tmp/man-err" || fail "man -l $page: $(cat "$tmp/man-err")"
  grep -q -- "--version" "$tmp/page" || fail "$page has no --version"
  echo "package-check: man -l $program.1.gz shows $(wc -l <"$tmp/page") lines"
done

# Lintian warns that root should not run it; its findings go to standard output.
lintian --fail-on error "$deb" 2>/dev/null | tee "$tmp/lintian" || fail "lintian found errors in $deb"
echo "package-check: passed in $((SECONDS - start)) s ($(grep -c . "$tmp/lintian" || true) lintian notes, no error)"
