#!/usr/bin/env bash
# Starts the test build of zelbrin.exe under Wine, looks a book up through its window from a
# second program, saves a screenshot of the screen, presses Esc and expects exit code 0.
# Needs a display (scripts/test runs the Windows tests inside xvfb-run).
# usage: zelbrin_out_of_process.sh <wine-run> <zelbrin-test.exe> <zelbrin-drive.exe> <port>
#                                  <books.json as a Windows path> <book id> <rows> <screenshot>
set -uo pipefail
wine_run="$1" program="$2" drive="$3" port="$4" books="$5" id="$6" rows="$7" screenshot="$8"

if [ -z "${DISPLAY:-}" ]; then
    echo "no display: run under xvfb-run"
    exit 1
fi

# Without a window manager (Xvfb) Wine draws the caption and frame itself only when asked to;
# the screenshot should show the caption.
WINEDEBUG=-all "$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ \
    /d N /f >/dev/null 2>&1

"$wine_run" "$program" &
program_pid=$!

fail() {
    echo "$1"
    kill "$program_pid" 2>/dev/null
    exit 1
}

"$wine_run" "$drive" lookup "$port" "$books" "$id" "$rows" || fail "lookup through the window failed"

sleep 1  # let the list repaint before the picture is taken
mkdir -p "$(dirname "$screenshot")"
import -window root "$screenshot" || fail "screenshot failed"
echo "screenshot: $screenshot"

"$wine_run" "$drive" escape || fail "could not press Esc"
for _ in $(seq 1 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end after Esc"
wait "$program_pid"
status=$?
echo "exit code $status"
[ "$status" -eq 0 ]
