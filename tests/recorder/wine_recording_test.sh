#!/usr/bin/env bash
# marev-record.exe under Wine against qelm-sim: the simulator's pseudo-terminal
# is linked as com<n> in Wine's dosdevices, the recorder records one short
# sample from COM<n>, and its file holds the lines the simulator sent, from
# the second on (the first goes to finding the start of the stream), once
# each and in order. marev-export.exe then makes of it the same CSV as the
# Linux marev-export.
#   wine_recording_test.sh QELM_SIM MAREV_RECORD_EXE MAREV_EXPORT MAREV_EXPORT_EXE
#   (WINEPREFIX set)
set -euo pipefail
sim=$1 recorder=$2 export_host=$3 export_exe=$4
port=9
dir=$(mktemp -d)
link="${WINEPREFIX:?}/dosdevices/com$port"
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -f "$link"
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$dir/ports" "$dir/rec"
"$sim" --port "$port" --port-folder "$dir/ports" --serial 42 --rate 20 --seed 5 \
  --log "$dir/sim.log" >"$dir/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q "^qelm-sim: COM$port is " "$dir/sim.out" && break
  sleep 0.05
done
device=$(sed -n "s/^qelm-sim: COM$port is \([^ ]*\) .*/\1/p" "$dir/sim.out")
[ -n "$device" ] || fail "qelm-sim did not start"
ln -sfn "$device" "$link"

status=0
(cd "$dir" && wine "$recorder" --port "$port" --folder rec --sample-length 3s --samples 1 \
  --quiet >rec.out 2>rec.err) || status=$?
cat "$dir/rec.err"
[ "$status" -eq 0 ] || fail "marev-record ended with status $status"
[ -s "$dir/rec.out" ] && fail "marev-record wrote to standard output"
grep -q "QELM 042 found on COM$port" "$dir/rec.err" || fail "instrument not found"

files=("$dir"/rec/*)
[ "${#files[@]}" -eq 1 ] || fail "${#files[@]} files instead of one"
[[ $(basename "${files[0]}") =~ ^qelm042_[0-9]{14}\.dat$ ]] || fail "file name ${files[0]}"
# Each entry ends in a carriage return; the log escapes the line ends it sent.
[ "$(tail -c 1 "${files[0]}" | od -An -c | tr -d ' ')" = '\r' ] || fail "last entry not whole"
tr '\r' '\n' <"${files[0]}" >"$dir/recorded"
awk '$1 == "TX" { print $3 }' "$dir/sim.log" | sed 's/\\r\\n$//' >"$dir/sent"
lines=$(wc -l <"$dir/recorded")
[ "$lines" -ge 20 ] || fail "only $lines lines recorded in 3 seconds at 20 a second"
tail -n +2 "$dir/sent" | head -n "$lines" | cmp -s - "$dir/recorded" ||
  fail "the record file is not the lines sent: $(diff <(tail -n +2 "$dir/sent") "$dir/recorded" | head -5)"
echo "recorded $lines lines, as sent"

(cd "$dir" && wine "$export_exe" rec/*.dat -o windows.csv && "$export_host" rec/*.dat -o linux.csv) ||
  fail "marev-export failed"
[ "$(wc -l <"$dir/linux.csv")" -eq $((lines + 1)) ] || fail "the CSV has not a row per line"
cmp -s "$dir/windows.csv" "$dir/linux.csv" ||
  fail "the CSV differs from Linux's: $(diff "$dir/windows.csv" "$dir/linux.csv" | head -4)"
echo "exported $lines rows, as on Linux"
