#!/bin/bash
# /ALL with DECODENEWONLY, in each message-base format (*.MSG, Squish, JAM),
# over AREAS areas of MESSAGES messages (one posted file per 25 messages):
#   first   the first run with the setting, against today's /ALL without it
#           (target: at most 5 per cent more)
#   again   a later run when everything is handled, against a plain loop
#           that opens every base and reads its header and index
#           (kavel_read_headers; target: at most twice that)
# Times are processor seconds (user + system), the least of
# KAVEL_BENCH_RUNS (default 5) runs, under nice 19. Needs /usr/bin/time.
#   bench/new_only.sh             200 areas x 200 messages
#   bench/new_only.sh 1000 1000   the full size (long)
# Environment: KAVEL_BENCH_BUILD as for bench/run.sh.
# Exit status 0 when every target is met, 1 otherwise.
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KAVEL_BENCH_BUILD:-$SRC/build-bench}
AREAS=${1:-200} MESSAGES=${2:-200} RUNS=${KAVEL_BENCH_RUNS:-5}
cmake -S "$SRC" -B "$BUILD" -G Ninja -DKAVEL_TESTS=OFF -DKAVEL_BENCH=ON \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
nice -n 19 cmake --build "$BUILD" --target kavel kavel_make_area \
  kavel_read_headers >/dev/null
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kavel-newonly.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Processor seconds (user + system) of one command, run in the current
# directory, into $SECS: on a machine shared with other work, wall time
# mostly measures the others.
timed() {
  nice -n 19 /usr/bin/time -f '%U %S' -o "$WORK/time.out" "$@" \
    >"$WORK/cmd.out" 2>&1 || {
    echo "failed: $*" >&2; cat "$WORK/cmd.out" >&2; exit 1; }
  SECS=$(awk '{ printf "%.3f", $1 + $2 }' "$WORK/time.out")
}
calc() { awk "BEGIN { printf \"%.4f\", $1 }"; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }
FAILED=0
row() {  # format what kavel_s base_s limit_factor
  local ok=pass
  awk -v k="$3" -v b="$4" -v f="$5" 'BEGIN { exit !(k <= b * f) }' ||
    { ok=FAIL; FAILED=1; }
  printf '%-7s %-22s %9s %9s %6s %5s\n' "$1" "$2" "$3" "$4" \
    "$(awk -v k="$3" -v b="$4" 'BEGIN { printf "%.2f", k / (b < 0.001 ? 0.001 : b) }')" "$ok"
}
printf '%-7s %-22s %9s %9s %6s %5s\n' format run kavel_s base_s ratio ok
for fmt in Msg Squish Jam; do
  L=${fmt:0:1}
  dir=$WORK/$fmt
  mkdir -p "$dir/bases"
  : >"$dir/areas"
  ids=()
  for i in $(seq 1 "$AREAS"); do
    nice -n 19 "$BUILD/kavel_make_area" "$L$dir/bases/a$i" "$MESSAGES" \
      $((MESSAGES / 25)) >/dev/null
    echo "EchoArea A$i $dir/bases/a$i -b $fmt" >>"$dir/areas"
    ids+=("$L$dir/bases/a$i")
  done
  cfg() {  # DECODENEWONLY value
    printf 'HPTPATH %s\nBASETEXTPATH txt\nUSETEXTSUBDIR No\n' "$dir/areas" \
      >"$dir/Kavel.cfg"
    printf 'WHATDOWITHEXISTFILE R\nDECODENEWONLY %s\n' "$1" >>"$dir/Kavel.cfg"
  }
  cd "$dir"
  # The first runs with and without the setting alternate, so that the
  # load of a shared machine falls on both alike.
  plain="" first=""
  for _ in $(seq 1 "$RUNS"); do
    rm -rf txt kavel.state Kavel.log; cfg No
    timed "$BUILD/kavel" /ALL; plain=$(min "$SECS" "$plain")
    rm -rf txt kavel.state Kavel.log; cfg Yes
    timed "$BUILD/kavel" /ALL; first=$(min "$SECS" "$first")
  done
  row $fmt "first ${AREAS}x$MESSAGES" "$first" "$plain" 1.05
  # Ten runs per measurement: one takes little more than the clock's tick.
  floor="" again=""
  for _ in $(seq 1 "$RUNS"); do
    timed bash -c 'for _ in 1 2 3 4 5 6 7 8 9 10; do "$@" >/dev/null; done' \
      ten "$BUILD/kavel_read_headers" "${ids[@]}"
    floor=$(min "$(calc "$SECS / 10")" "$floor")
    rm -f Kavel.log
    timed bash -c 'for _ in 1 2 3 4 5 6 7 8 9 10; do "$@" >/dev/null; done' \
      ten "$BUILD/kavel" /ALL
    again=$(min "$(calc "$SECS / 10")" "$again")
  done
  grep -q "Saving" Kavel.log && { echo "$fmt: a later run saved again" >&2; FAILED=1; }
  row $fmt "again ${AREAS}x$MESSAGES" "$again" "$floor" 2
  echo "        full scan (today's /ALL): $plain s; state file $(stat -c %s kavel.state) bytes"
  cd "$SRC"
done
exit $FAILED
