#!/usr/bin/env bash
# A person's whole job in the real program: a copy of the test build of zelbrin.exe in a fresh
# folder, a book looked up and downloaded through its window, the "信息：" box awaited, and every
# file beside the program compared with the service's bytes. Screenshots during and after.
# Needs a display (scripts/test runs the Windows tests inside xvfb-run).
# usage: zelbrin_download_out_of_process.sh <wine-run> <zelbrin-test.exe> <zelbrin-drive.exe>
#            <port> <books.json as a Windows path> <book id> <rows> <work folder> <screenshots>
set -uo pipefail
wine_run="$1" program="$2" drive="$3" port="$4" books="$5" id="$6" rows="$7" work="$8" shots="$9"

if [ -z "${DISPLAY:-}" ]; then
    echo "no display: run under xvfb-run"
    exit 1
fi

folder="$work/run-$$"
rm -rf "$folder"
mkdir -p "$folder" "$shots"
cp "$program" "$folder/zelbrin.exe"
marker="$folder.started"
rm -f "$marker"

"$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
    >/dev/null 2>&1

"$wine_run" "$folder/zelbrin.exe" &
program_pid=$!
"$wine_run" "$drive" download "$port" "$books" "$id" "$rows" "Z:$folder" "Z:$marker" &
drive_pid=$!

fail() {
    echo "$1"
    kill "$program_pid" "$drive_pid" 2>/dev/null
    exit 1
}

for _ in $(seq 1 300); do
    [ -f "$marker" ] && break
    kill -0 "$drive_pid" 2>/dev/null || break
    sleep 0.2
done
[ -f "$marker" ] || fail "the download was never started"
sleep 1.5  # a chapter or two in: rows show percentages and "已下载"
import -window root "$shots/download-running.png" || fail "screenshot failed"

wait "$drive_pid"
drive_status=$?
import -window root "$shots/download-done.png" || fail "screenshot failed"
echo "screenshots: $shots/download-running.png $shots/download-done.png"
[ "$drive_status" -eq 0 ] || fail "the download through the window went wrong"

"$wine_run" "$drive" dismiss || fail "no message box to close"
"$wine_run" "$drive" escape || fail "could not press Esc"
for _ in $(seq 1 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end after Esc"
wait "$program_pid"
status=$?
echo "exit code $status"
rm -rf "$folder" "$marker"
[ "$status" -eq 0 ]
