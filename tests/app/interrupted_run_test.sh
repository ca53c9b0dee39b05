#!/bin/sh
# The desktop program interrupted while its recording window records, on an X server of its
# own so that the display can be taken away: SIGTERM, SIGHUP or the lost display (the argument:
# TERM, HUP or display) must leave the recording at its target, indexed and with a length a
# player shows, and end the program with status 0 (after a lost display, saying so on stderr).
set -eu
build=$1
how=$2
work=$(mktemp -d)
server=
program=
cleanup() {
  [ -n "$program" ] && kill -9 "$program" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "interrupted run ($how): $*" >&2; [ -f "$work/log" ] && tail -5 "$work/log" >&2; exit 1; }
# Waits up to 30 s (or the seconds given) for the condition (a shell command).
await() { i=0; until eval "$1"; do i=$((i + 1)); [ $i -lt $((${2:-30} * 10)) ] || return 1; sleep 0.1; done; }

export XDG_CONFIG_HOME="$work/config" TZ=UTC LC_ALL=C.UTF-8
# A program slow to start (a busy machine, the sanitizers) records the reservation late instead of
# dropping it; it still records into its target.
mkdir -p "$work/config/tovalen"
printf '[Recording]\nLateStart=1\n' >"$work/config/tovalen/tovalen.conf"
# No accessibility bus: a helper the toolkit would start could outlive the program and keep the
# test's output open. Background processes write to files for the same reason.
export NO_AT_BRIDGE=1
Xvfb -displayfd 3 -screen 0 1280x1024x24 3>"$work/display" >/dev/null 2>&1 &
server=$!
await '[ -s "$work/display" ]' || fail "no X server"
export DISPLAY=":$(cat "$work/display")"

rec="$build/src/cli/tovalen-rec"
device=$("$rec" devices | sed -n 's/^\([0-9]\), テストパターン.*/\1/p')
"$rec" new "$work/s.yyk" >/dev/null
"$rec" set "$work/s.yyk" --device "$device" >/dev/null
"$rec" add "$work/s.yyk" --start "$(date -d '+15 seconds' '+%Y-%m-%d %H:%M:%S')" --length 600 \
  --file "$work/rec.avi" --title t >/dev/null

# A busy machine may open the recording window after the start: it then records the remainder.
mkdir -p "$work/config/tovalen"
printf '[Recording]\nLateStart=1\n' >"$work/config/tovalen/tovalen.conf"

"$build/src/app/tovalen" "$work/s.yyk" >"$work/out" 2>"$work/log" </dev/null &
program=$!
await 'timeout 5 xdotool search --name "^s.yyk" >/dev/null 2>&1' || fail "no main window"
window=$(timeout 5 xdotool search --name "^s.yyk" | head -1)
# 録画予約 (&R) -> 予約開始(&S)...
tries=0
until grep -q "yoyakuId = 0" "$work/log"; do
  tries=$((tries + 1))
  [ $tries -le 20 ] || fail "the recording window did not open"
  timeout 5 xdotool windowfocus "$window" 2>/dev/null || true
  timeout 5 xdotool key alt+r 2>/dev/null; sleep 0.5; timeout 5 xdotool key s 2>/dev/null; sleep 0.5
done
await 'grep -q "capCaptureSequence() starting" "$work/log"' || fail "the recording did not start"
sleep 2  # something to keep

case $how in
  display) kill "$server"; server= ;;
  *) kill -"$how" "$program" ;;
esac
# Finishing the file behind a backlog takes a while on a busy machine or under the sanitizers.
await '! kill -0 "$program" 2>/dev/null' 120 || fail "the program did not end"
status=0
wait "$program" || status=$?
program=
[ "$status" -eq 0 ] || fail "exit status $status"
if [ "$how" = display ]; then
  grep -q "^tovalen: the display was lost; the recording was saved to $work/rec.avi\$" "$work/log" ||
    fail "no word of the lost display"
fi
[ -f "$work/rec.avi" ] || fail "no recording at the target"
ls "$work" | grep -q '\.recording-' && fail "a scratch file was left"
grep -q idx1 "$work/rec.avi" || fail "the recording has no index"
duration=$(timeout 30 ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/rec.avi")
awk "BEGIN { exit !($duration >= 1) }" || fail "duration $duration"
echo "interrupted run ($how): recording kept, $duration s"
