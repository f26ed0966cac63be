#!/usr/bin/env bash
# xvfb-window.sh BUILD_DIR SOURCE_DIR OUT_DIR: the box in a real window under Xvfb, keys typed with
# xdotool; the window's pixels (xwd) must be the box's own screenshots. Each step polls, up to a limit.
set -euo pipefail
build=$1 src=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run xdotool xwd xwininfo python3 pngtopnm pnmtopng; do
  command -v "$tool" >/dev/null || { echo "window test: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done
if [ -z "${VANTREL_IN_XVFB:-}" ]; then  # a display of its own, whatever the caller has
  exec env -u DISPLAY -u WAYLAND_DISPLAY VANTREL_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
rm -rf "$out" && mkdir -p "$out/shots"
log=$out/box.log trace=$out/trace.jsonl

fail() {
  echo "window test: $*"
  window_ppm 2>/dev/null | pnmtopng >"$out/window-at-failure.png" 2>/dev/null || true
  echo "--- the box said:"; cat "$log"; exit 1
}
# until_ LIMIT_S WHAT COMMAND...: polls COMMAND every 50 ms while the box runs.
until_() {
  local limit=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    ((SECONDS < limit)) || fail "gave up waiting for $what"
    kill -0 "$box" 2>/dev/null || fail "the box ended while waiting for $what"
    sleep 0.05
  done
}
# The box's window: SDL may first show a short-lived one of the same class.
current_window() {
  local w
  for w in $(xdotool search --onlyvisible --class vantrel-box 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q "Width: 720" && { echo "$w"; return 0; }
  done
  return 1
}
window_ppm() { local w; w=$(current_window) && xwd -silent -id "$w" 2>/dev/null | "$here/xwd2ppm.py"; }
press() { local w; w=$(current_window) && xdotool windowfocus --sync "$w" && xdotool key --delay 20 "$@"; }
shows() { [ -e "$out/shots/$1.png" ] && cmp -s <(window_ppm) <(pngtopnm "$out/shots/$1.png"); }
# Until the box ends, its trace grows in a temporary file beside the name.
keys_in_trace() { [ "$(cat "$trace".tmp-* 2>/dev/null | grep -c '"ev":"key"')" -ge "$1" ]; }

# The script only looks and takes shots; every key comes from the keyboard.
script='wait-text "Frequenza iniziale:"; shot dialog
wait-text "Range di frequenze: 12744 - 12750" 60000; shot sweep
wait-text "Scansione terminata" 120000; shot finished'
"$build/vantrel-box" --window --lang it --band "$src/data/bands/empty.json" --root "$out/root" --shots "$out/shots" \
  --trace "$trace" --keys "$script" >"$log" 2>&1 &
box=$!
trap 'kill "$box" 2>/dev/null || true' EXIT

until_ 60 "the dialog in the window" shows dialog
# Start 12745 MHz, step 25 MHz: a sweep of a few steps.
press 1 2 7 4 5 Down Down Down 2 5
until_ 30 "ten keys" keys_in_trace 10
press g
until_ 60 "the sweep in the window" shows sweep
until_ 120 "the end of the sweep in the window" shows finished
# Confirm, back to the dialog with red, and leave.
press Return
until_ 30 "ok" keys_in_trace 12
press F1
until_ 30 "red" keys_in_trace 13
press Escape
for _ in $(seq 400); do kill -0 "$box" 2>/dev/null && sleep 0.05 || break; done
kill -0 "$box" 2>/dev/null && fail "the box did not end after Esc"
code=0
wait "$box" || code=$?
trap - EXIT
[ "$code" -eq 0 ] || fail "the box ended with $code"
got=$(grep -o '"ev":"key","name":"[^"]*"' "$trace" | sed 's/.*"name":"//; s/"$//' | tr '\n' ' ')
want="1 2 7 4 5 down down down 2 5 green ok red exit "
[ "$got" = "$want" ] || fail "keys in the trace: '$got', expected '$want'"
echo "window test: 1 passed, 0 failed ($SECONDS s)"
