#!/usr/bin/env bash
# Closing the window while a chapter downloads: the program ends with exit code 0, the clean-up
# stops the engine, and nothing incomplete is left under a chapter's name (a chapter the engine
# finishes while it is being stopped is complete, and may stay).
# usage: zelbrin_close_midway.sh <wine-run> <zelbrin-test.exe> <zelbrin-drive.exe> <port>
#            <books.json as a Windows path> <book id> <rows> <work folder>
set -uo pipefail
wine_run="$1" program="$2" drive="$3" port="$4" books="$5" id="$6" rows="$7" work="$8"
books_file="${books#Z:}"

if [ -z "${DISPLAY:-}" ]; then
    echo "no display: run under xvfb-run"
    exit 1
fi

folder="$work/close-$$"
[ -n "${KEEP:-}" ] || rm -rf "$folder"
mkdir -p "$folder"
cp "$program" "$folder/zelbrin.exe"

"$wine_run" "$folder/zelbrin.exe" &
program_pid=$!
"$wine_run" "$drive" close-midway "$port" "$books" "$id" "$rows"
drive_status=$?

for _ in $(seq 1 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid"
    echo "the program did not end after Esc"
    exit 1
fi
wait "$program_pid"
status=$?
echo "exit code $status"

# Every chapter file left must have its chapter's full size, and the book must not be complete.
finals=0
wrong=0
while IFS= read -r -d '' file; do
    name="$(basename "$file" .mp3)"
    name="${name%(*)}"
    expected="$(jq --arg id "$id" --arg name "$name" \
        '[.books[] | select((.id|tostring) == $id) | .chapters[] | select(.name == $name) | .size] | first' \
        "$books_file")"
    actual="$(stat -c %s "$file")"
    echo "$name: $actual bytes (the chapter has $expected)"
    finals=$((finals + 1))
    [ "$actual" = "$expected" ] || wrong=$((wrong + 1))
done < <(find "$folder" -name '*.mp3' -print0)
[ -n "${KEEP:-}" ] || rm -rf "$folder"
[ "$drive_status" -eq 0 ] && [ "$status" -eq 0 ] && [ "$wrong" -eq 0 ] && [ "$finals" -lt "$rows" ]
